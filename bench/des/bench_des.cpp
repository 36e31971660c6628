// Throughput of clsDES's EncryptByte and DecryptByte against OpenSSL's DES-CBC on the same
// buffers, measured alternately so that both see the same machine load; then the raw decipher
// of whole buffers by the one-block engine and by each batch path.
//
//   bench_des                      all figures, then "ratio: R", the smaller of the encrypt and
//                                  decrypt ratios
//   bench_des --single WHAT MIB    one pass of WHAT (ours-encrypt, ours-decrypt,
//                                  openssl-encrypt, openssl-decrypt) for instruction counting

#include "cls_des.h"
#include "des_batch.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using ostrel::des::clsDES;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMiB = 1 << 20;
const char kKey[] = "Ostrel-8";

Bytes randomBytes(std::size_t count) {
    std::mt19937_64 generator(42);
    Bytes bytes(count);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

class OpenSslDesCbc {
public:
    OpenSslDesCbc() {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        cipher_ = EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr);
        context_ = EVP_CIPHER_CTX_new();
        if (cipher_ == nullptr || context_ == nullptr) {
            std::fprintf(stderr, "OpenSSL DES-CBC unavailable (legacy provider missing?)\n");
            std::exit(1);
        }
    }
    ~OpenSslDesCbc() {
        EVP_CIPHER_CTX_free(context_);
        EVP_CIPHER_free(cipher_);
    }

    // In place, zero initial vector, no padding; the length is a multiple of 8.
    void run(Bytes& data, bool encrypt) {
        const unsigned char iv[8] = {};
        int produced = 0;
        EVP_CipherInit_ex(context_, cipher_, nullptr, reinterpret_cast<const unsigned char*>(kKey),
                          iv, encrypt ? 1 : 0);
        EVP_CIPHER_CTX_set_padding(context_, 0);
        EVP_CipherUpdate(context_, data.data(), &produced, data.data(),
                         static_cast<int>(data.size()));
        EVP_CipherFinal_ex(context_, data.data() + produced, &produced);
    }

private:
    EVP_CIPHER* cipher_ = nullptr;
    EVP_CIPHER_CTX* context_ = nullptr;
};

struct Figures {
    double oursEncrypt = 0, oursDecrypt = 0, opensslEncrypt = 0, opensslDecrypt = 0;
};

template <typename Body> double megabytesPerSecond(std::size_t bytes, Body&& body) {
    const auto start = Clock::now();
    body();
    const std::chrono::duration<double> seconds = Clock::now() - start;
    return static_cast<double>(bytes) / 1e6 / seconds.count();
}

// Best of several alternating passes: the fastest pass is the least disturbed one.
Figures measure(std::size_t size, int passes, clsDES& des, OpenSslDesCbc& openssl) {
    const Bytes plain = randomBytes(size);
    Figures best;
    for (int pass = 0; pass < passes; ++pass) {
        Bytes ours = plain;
        best.oursEncrypt =
            std::max(best.oursEncrypt, megabytesPerSecond(size, [&] { des.EncryptByte(ours); }));
        Bytes theirs = plain;
        best.opensslEncrypt = std::max(
            best.opensslEncrypt, megabytesPerSecond(size, [&] { openssl.run(theirs, true); }));
        best.oursDecrypt =
            std::max(best.oursDecrypt, megabytesPerSecond(size, [&] { des.DecryptByte(ours); }));
        best.opensslDecrypt = std::max(
            best.opensslDecrypt, megabytesPerSecond(size, [&] { openssl.run(theirs, false); }));
        if (ours != plain || theirs != plain) {
            std::fprintf(stderr, "round trip failed\n");
            std::exit(1);
        }
    }
    return best;
}

// Deciphering alone, no chaining: what each way of running the rounds gives.
void measureDecipherPaths(std::size_t size, int passes, const clsDES& des) {
    using ostrel::des::BatchPath;
    Bytes data = randomBytes(size);
    double oneBlock = 0, portable = 0, avx2 = 0;
    for (int pass = 0; pass < passes; ++pass) {
        oneBlock = std::max(oneBlock, megabytesPerSecond(size, [&] {
                                for (std::size_t i = 0; i < size; i += 8) {
                                    des.DecipherBlock(data.data() + i);
                                }
                            }));
        portable = std::max(portable, megabytesPerSecond(size, [&] {
                                des.DecipherBlocks(data.data(), size / 8, BatchPath::Portable);
                            }));
        if (ostrel::des::FastestBatchPath() == BatchPath::Avx2) {
            avx2 = std::max(avx2, megabytesPerSecond(size, [&] {
                                des.DecipherBlocks(data.data(), size / 8, BatchPath::Avx2);
                            }));
        }
    }
    std::printf("decipher %zu MiB, no chaining: one-block %.1f MB/s, portable batch %.1f MB/s, "
                "avx2 batch %.1f MB/s (0: no AVX2)\n",
                size / kMiB, oneBlock, portable, avx2);
}

int runSingle(const std::string& what, std::size_t mebibytes) {
    clsDES des;
    des.Key(kKey);
    OpenSslDesCbc openssl;
    Bytes data = randomBytes(mebibytes * kMiB);
    if (what == "ours-encrypt") {
        des.EncryptByte(data);
    } else if (what == "ours-decrypt") {
        des.DecryptByte(data); // deciphers every block, then refuses the size descriptor
    } else if (what == "openssl-encrypt") {
        openssl.run(data, true);
    } else if (what == "openssl-decrypt") {
        openssl.run(data, false);
    } else {
        std::fprintf(stderr, "unknown measurement: %s\n", what.c_str());
        return 2;
    }
    std::printf("%s %zu MiB done (%u)\n", what.c_str(), mebibytes, data.empty() ? 0u : data[0]);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--single") == 0) {
        return runSingle(argv[2], std::strtoul(argv[3], nullptr, 10));
    }
    clsDES des;
    des.Key(kKey);
    OpenSslDesCbc openssl;

    double ratio = 1e9;
    const struct {
        std::size_t mebibytes;
        int passes;
    } sizes[] = {{1, 9}, {64, 2}};
    for (const auto& size : sizes) {
        const Figures f = measure(size.mebibytes * kMiB, size.passes, des, openssl);
        const double encrypt = f.oursEncrypt / f.opensslEncrypt;
        const double decrypt = f.oursDecrypt / f.opensslDecrypt;
        std::printf("encrypt %2zu MiB: ours %.1f MB/s, openssl %.1f MB/s, ratio %.3f\n",
                    size.mebibytes, f.oursEncrypt, f.opensslEncrypt, encrypt);
        std::printf("decrypt %2zu MiB: ours %.1f MB/s, openssl %.1f MB/s, ratio %.3f\n",
                    size.mebibytes, f.oursDecrypt, f.opensslDecrypt, decrypt);
        ratio = std::min({ratio, encrypt, decrypt});
    }
    measureDecipherPaths(4 * kMiB, 5, des);
    std::printf("ratio: %.3f\n", ratio);
    return 0;
}
