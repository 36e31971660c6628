// Deciphering many blocks at once must give, byte for byte, what the one-block engine and OpenSSL
// give, on every count of blocks around the batch size and for keys set before or after.

#include "cls_des.h"
#include "des_batch.h"
#include "openssl_des_cbc.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace ostrel::des {
// Names the path in the test listing.
void PrintTo(BatchPath path, std::ostream* out) {
    *out << (path == BatchPath::Avx2 ? "AVX2" : "portable");
}
} // namespace ostrel::des

namespace {

using ostrel::des::BatchPath;
using ostrel::des::clsDES;
using ostrel::des::test::OpenSslDesCbc;
using Bytes = clsDES::Bytes;

std::mt19937 random(20261208);

Bytes randomBytes(std::size_t count) {
    Bytes bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// The empty key first: a new object must decipher under it without a Key call.
std::vector<std::string> testKeys() {
    std::vector<std::string> keys = {""};
    for (int i = 0; i < 3; ++i) {
        const Bytes key = randomBytes(8);
        keys.emplace_back(key.begin(), key.end());
    }
    return keys;
}

class DesBatchPath : public ::testing::TestWithParam<BatchPath> {};

TEST_P(DesBatchPath, DeciphersLikeTheOneBlockEngine) {
    if (GetParam() == BatchPath::Avx2 && ostrel::des::FastestBatchPath() != BatchPath::Avx2) {
        GTEST_SKIP() << "this processor has no AVX2";
    }
    clsDES des;
    for (const std::string& key : testKeys()) {
        if (!key.empty()) {
            des.Key(key);
        }
        for (std::size_t count = 0; count <= 2 * ostrel::des::kBatchBlocks; ++count) {
            const Bytes cipher = randomBytes(8 * count);
            Bytes expected = cipher, batched = cipher;
            for (std::size_t i = 0; i < count; ++i) {
                des.DecipherBlock(expected.data() + 8 * i);
            }
            des.DecipherBlocks(batched.data(), count, GetParam());
            ASSERT_EQ(batched, expected) << count << " blocks, key " << key.size() << " bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, DesBatchPath,
                         ::testing::Values(BatchPath::Portable, BatchPath::Avx2),
                         [](const auto& info) {
                             return info.param == BatchPath::Avx2 ? "Avx2" : "Portable";
                         });

// A buffer of the given number of blocks with a valid size descriptor, enciphered by OpenSSL.
struct Sample {
    Bytes plain, cipher;
    std::size_t size;
};
Sample openSslBuffer(const std::string& key, std::size_t blocks) {
    const std::size_t room = 8 * blocks - 12; // what the plain data may fill
    Sample sample{
        randomBytes(8 * blocks), {}, room - random() % std::min<std::size_t>(room + 1, 8)};
    for (int i = 0; i < 4; ++i) {
        sample.plain[8 + i] = static_cast<std::uint8_t>(sample.size >> (8 * i));
    }
    sample.cipher = OpenSslDesCbc(key, sample.plain, true);
    return sample;
}

TEST(DesBatch, DecryptByteMatchesOneBlockEngineAndOpenSsl) {
    clsDES des;
    std::vector<std::size_t> counts;
    for (std::size_t blocks = 2; blocks <= 2 * ostrel::des::kBatchBlocks; ++blocks) {
        counts.push_back(blocks);
    }
    counts.push_back(3 * 32768 + 5); // 3/4 MiB (3 MiB in all) and a tail shorter than a batch
    for (const std::string& key : testKeys()) {
        for (const std::size_t blocks : counts) {
            SCOPED_TRACE(std::to_string(blocks) + " blocks, key " + std::to_string(key.size()));
            const Sample sample = openSslBuffer(key, blocks);

            Bytes ours = sample.cipher;
            ASSERT_TRUE(des.DecryptByte(ours, key));
            ASSERT_EQ(ours, Bytes(sample.plain.begin() + 12,
                                  sample.plain.begin() + 12 + static_cast<long>(sample.size)));

            if (blocks > 2 * ostrel::des::kBatchBlocks) {
                continue; // the one-block engine is checked on every batch size above
            }
            Bytes oneBlock = sample.cipher;
            std::uint8_t previous[8] = {};
            for (std::size_t offset = 0; offset < oneBlock.size(); offset += 8) {
                des.DecipherBlock(oneBlock.data() + offset);
                for (int i = 0; i < 8; ++i) {
                    oneBlock[offset + i] ^= previous[i];
                    previous[i] = sample.cipher[offset + i];
                }
            }
            ASSERT_EQ(oneBlock, sample.plain);
        }
    }
}

} // namespace
