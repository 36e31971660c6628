// EncryptByte and DecryptByte: the buffer format, its refusals and the Progress event.

#include "cls_des.h"
#include "openssl_des_cbc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ostrel::des::clsDES;
using ostrel::des::kErrorCipherLength;
using ostrel::des::kErrorSizeDescriptor;
using ostrel::des::test::OpenSslDesCbc;
using Bytes = clsDES::Bytes;

const char kKey[] = "k3y-Test";

Bytes counting(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return bytes;
}

TEST(DesBuffer, RoundTripsAndCipherSizes) {
    struct Case {
        std::size_t plain, cipher;
    };
    for (const Case c :
         {Case{0, 16}, {1, 16}, {4, 16}, {5, 24}, {8, 24}, {12, 24}, {13, 32}, {100000, 100016}}) {
        const Bytes plain = counting(c.plain);
        Bytes data = plain;
        clsDES des;
        ASSERT_TRUE(des.EncryptByte(data, kKey));
        EXPECT_EQ(data.size(), c.cipher) << "plain size " << c.plain;
        ASSERT_TRUE(des.DecryptByte(data, kKey)) << "plain size " << c.plain;
        EXPECT_EQ(data, plain) << "plain size " << c.plain;
    }
}

TEST(DesBuffer, EqualPlainDataGivesDifferentCipherData) {
    clsDES des;
    Bytes first = counting(21), second = counting(21);
    ASSERT_TRUE(des.EncryptByte(first, kKey));
    ASSERT_TRUE(des.EncryptByte(second, kKey));
    EXPECT_NE(first, second);
    // Even the padding changes: the last blocks differ although their plain data is equal.
    Bytes firstPlain = OpenSslDesCbc(kKey, first, false);
    Bytes secondPlain = OpenSslDesCbc(kKey, second, false);
    EXPECT_NE(Bytes(firstPlain.begin() + 33, firstPlain.end()),
              Bytes(secondPlain.begin() + 33, secondPlain.end()));
}

// A buffer whose size descriptor leaves the given overhead, enciphered by OpenSSL.
Bytes bufferWithOverhead(int overhead, Bytes& plainBuffer, std::size_t length = 32) {
    plainBuffer = counting(length);
    const std::int32_t size = static_cast<std::int32_t>(length) - overhead;
    for (int i = 0; i < 4; ++i) {
        plainBuffer[8 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(size) >> (8 * i));
    }
    return OpenSslDesCbc(kKey, plainBuffer, true);
}

TEST(DesBuffer, SizeDescriptorBounds) {
    for (const int overhead : {12, 19}) {
        Bytes plainBuffer;
        Bytes data = bufferWithOverhead(overhead, plainBuffer);
        clsDES des;
        ASSERT_TRUE(des.DecryptByte(data, kKey)) << "overhead " << overhead;
        EXPECT_EQ(data, Bytes(plainBuffer.begin() + 12, plainBuffer.begin() + 12 + 32 - overhead));
    }
    // 32 + 1 is a negative descriptor, 32 - 0x7FFFFFFF a huge one.
    for (const int overhead : {11, 20, 0, 33, 32 - 0x7FFFFFFF}) {
        Bytes plainBuffer;
        Bytes data = bufferWithOverhead(overhead, plainBuffer);
        clsDES des;
        const auto status = des.DecryptByte(data, kKey);
        EXPECT_EQ(status.number, kErrorSizeDescriptor) << "overhead " << overhead;
        EXPECT_EQ(status.description, "Incorrect size descriptor in DES decryption");
        EXPECT_EQ(data, plainBuffer) << "left deciphered, not trimmed";
    }
}

// In a 16-byte buffer an overhead of 17 to 19 means a negative size.
TEST(DesBuffer, NegativeSizeIsRefused) {
    for (const int overhead : {17, 18, 19}) {
        Bytes plainBuffer;
        Bytes data = bufferWithOverhead(overhead, plainBuffer, 16);
        clsDES des;
        EXPECT_EQ(des.DecryptByte(data, kKey).number, kErrorSizeDescriptor) << overhead;
        EXPECT_EQ(data, plainBuffer);
    }
    Bytes plainBuffer;
    Bytes data = bufferWithOverhead(16, plainBuffer, 16);
    clsDES des;
    EXPECT_TRUE(des.DecryptByte(data, kKey));
    EXPECT_TRUE(data.empty());
}

TEST(DesBuffer, BadLengthsAreRefusedUntouched) {
    for (const std::size_t length : {0u, 1u, 8u, 15u, 17u, 23u, 31u}) {
        const Bytes cipher = counting(length);
        Bytes data = cipher;
        clsDES des;
        bool progressed = false;
        des.OnProgress([&](std::int32_t) { progressed = true; });
        EXPECT_EQ(des.DecryptByte(data, kKey).number, kErrorCipherLength) << "length " << length;
        EXPECT_EQ(data, cipher);
        EXPECT_FALSE(progressed);
    }
}

std::vector<std::int32_t> progressOf(bool encrypt, std::size_t plainSize) {
    clsDES des;
    std::vector<std::int32_t> seen;
    Bytes data = counting(plainSize);
    EXPECT_TRUE(des.EncryptByte(data, kKey));
    des.OnProgress([&](std::int32_t percent) { seen.push_back(percent); });
    if (encrypt) {
        Bytes again = counting(plainSize);
        EXPECT_TRUE(des.EncryptByte(again));
    } else {
        EXPECT_TRUE(des.DecryptByte(data));
    }
    return seen;
}

TEST(DesBuffer, ProgressRisesAndEndsWithOneHundredOnce) {
    for (const bool encrypt : {true, false}) {
        for (const std::size_t size : {0u, 4u, 50u, 1000u, 123457u}) {
            SCOPED_TRACE((encrypt ? "encrypt " : "decrypt ") + std::to_string(size));
            const auto seen = progressOf(encrypt, size);
            ASSERT_FALSE(seen.empty());
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
            EXPECT_EQ(seen.back(), 100);
            EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 1);
            EXPECT_GE(seen.front(), 0);
            EXPECT_LE(seen.size(), 101u);
        }
    }
    EXPECT_EQ(progressOf(false, 4), (std::vector<std::int32_t>{0, 50, 100}));
}

TEST(DesBuffer, RefusedDescriptorReportsNoCompletion) {
    Bytes plainBuffer;
    Bytes data = bufferWithOverhead(20, plainBuffer);
    clsDES des;
    std::vector<std::int32_t> seen;
    des.OnProgress([&](std::int32_t percent) { seen.push_back(percent); });
    EXPECT_FALSE(des.DecryptByte(data, kKey));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 0);
}

} // namespace
