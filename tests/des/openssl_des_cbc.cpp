#include "openssl_des_cbc.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ostrel::des::test {

namespace {

// OpenSSL 3 keeps single DES in its legacy provider.
EVP_CIPHER* desCbc() {
    static EVP_CIPHER* cipher = [] {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        return EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr);
    }();
    if (cipher == nullptr) {
        throw std::runtime_error("OpenSSL DES-CBC unavailable: legacy provider missing");
    }
    return cipher;
}

} // namespace

std::vector<std::uint8_t> OpenSslDesCbc(std::string_view keyText, std::vector<std::uint8_t> data,
                                        bool encrypt) {
    unsigned char key[8] = {};
    std::memcpy(key, keyText.data(), std::min<std::size_t>(keyText.size(), 8));
    const unsigned char iv[8] = {};
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int produced = 0, finished = 0;
    const bool ok = context != nullptr &&
                    EVP_CipherInit_ex(context, desCbc(), nullptr, key, iv, encrypt ? 1 : 0) == 1 &&
                    EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
                    EVP_CipherUpdate(context, data.data(), &produced, data.data(),
                                     static_cast<int>(data.size())) == 1 &&
                    EVP_CipherFinal_ex(context, data.data() + produced, &finished) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok || static_cast<std::size_t>(produced + finished) != data.size()) {
        throw std::runtime_error("OpenSSL DES-CBC failed");
    }
    return data;
}

} // namespace ostrel::des::test
