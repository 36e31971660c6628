// Random keys and buffers against OpenSSL's DES-CBC with a zero initial vector: the buffer
// format is plain CBC over the whole array, so each side must read what the other wrote.

#include "cls_des.h"
#include "openssl_des_cbc.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using ostrel::des::clsDES;
using ostrel::des::test::OpenSslDesCbc;
using Bytes = clsDES::Bytes;

class DesAgainstOpenSsl : public ::testing::Test {
protected:
    std::mt19937 random{20240611};

    std::string randomKey() {
        std::string key(8, '\0');
        for (char& c : key) {
            c = static_cast<char>(random() & 0xFF);
        }
        return key;
    }
    Bytes randomBytes(std::size_t count) {
        Bytes bytes(count);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        return bytes;
    }
};

TEST_F(DesAgainstOpenSsl, BlocksMatchSingleBlockCbc) {
    for (int i = 0; i < 200; ++i) {
        const std::string key = randomKey();
        clsDES des;
        des.Key(key);
        const Bytes plain = randomBytes(8);
        Bytes block = plain;
        des.EncipherBlock(block.data());
        ASSERT_EQ(block, OpenSslDesCbc(key, plain, true)) << "case " << i;
        des.DecipherBlock(block.data());
        ASSERT_EQ(block, plain) << "case " << i;
    }
}

TEST_F(DesAgainstOpenSsl, OpenSslReadsOurBuffers) {
    for (const std::size_t size : {0u, 1u, 5u, 100u, 4093u}) {
        const std::string key = randomKey();
        const Bytes plain = randomBytes(size);
        Bytes cipher = plain;
        clsDES des;
        ASSERT_TRUE(des.EncryptByte(cipher, key));

        const Bytes buffer = OpenSslDesCbc(key, cipher, false);
        ASSERT_EQ(buffer.size(), cipher.size());
        const std::uint32_t descriptor = buffer[8] | buffer[9] << 8 | buffer[10] << 16 |
                                         static_cast<std::uint32_t>(buffer[11]) << 24;
        EXPECT_EQ(descriptor, size);
        EXPECT_EQ(Bytes(buffer.begin() + 12, buffer.begin() + 12 + size), plain);
    }
}

TEST_F(DesAgainstOpenSsl, WeReadOpenSslBuffers) {
    for (const std::size_t size : {0u, 3u, 8u, 61u, 5000u}) {
        const std::string key = randomKey();
        const Bytes plain = randomBytes(size);
        Bytes buffer = randomBytes(8);
        for (int i = 0; i < 4; ++i) {
            buffer.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
        }
        buffer.insert(buffer.end(), plain.begin(), plain.end());
        buffer.resize((buffer.size() + 7) / 8 * 8, 0xA5);

        Bytes data = OpenSslDesCbc(key, buffer, true);
        clsDES des;
        ASSERT_TRUE(des.DecryptByte(data, key)) << "size " << size;
        EXPECT_EQ(data, plain) << "size " << size;
    }
}

} // namespace
