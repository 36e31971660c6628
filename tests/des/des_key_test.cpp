// The Key property: which key strings give which key.

#include "cls_des.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using ostrel::des::clsDES;

// Two blocks enciphered under the object's key: enough to tell keys apart.
std::array<std::uint8_t, 16> fingerprint(const clsDES& des) {
    std::array<std::uint8_t, 16> blocks = {0,    1,    2,    3,    4,    5,    6,    7,
                                           0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    des.EncipherBlock(blocks.data());
    des.EncipherBlock(blocks.data() + 8);
    return blocks;
}

std::array<std::uint8_t, 16> fingerprintOf(const std::string& key) {
    clsDES des;
    des.Key(key);
    return fingerprint(des);
}

TEST(DesKey, SettingTheSameKeyAgainKeepsIt) {
    clsDES des;
    des.Key("secret12");
    const auto before = fingerprint(des);
    des.Key("secret12");
    EXPECT_EQ(fingerprint(des), before);
    des.Key("other");
    des.Key("secret12");
    EXPECT_EQ(fingerprint(des), before);
}

TEST(DesKey, OnlyTheFirstEightCharactersCount) {
    EXPECT_EQ(fingerprintOf("ABCDEFGHIJ"), fingerprintOf("ABCDEFGH"));
    EXPECT_EQ(fingerprintOf("ABCDEFGHXYZ-longer"), fingerprintOf("ABCDEFGH"));
    EXPECT_NE(fingerprintOf("ABCDEFGX"), fingerprintOf("ABCDEFGH"));
}

TEST(DesKey, ShortKeysAreFilledWithZeroBytes) {
    EXPECT_EQ(fingerprintOf("abc"), fingerprintOf(std::string("abc\0\0\0\0\0", 8)));
    EXPECT_NE(fingerprintOf("abc"), fingerprintOf("abcd"));
}

TEST(DesKey, EmptyKeyIsTheAllZeroKey) {
    const auto zero = fingerprintOf(std::string(8, '\0'));
    clsDES fresh;
    EXPECT_EQ(fingerprint(fresh), zero);
    clsDES des;
    des.Key("abc");
    des.Key("");
    EXPECT_EQ(fingerprint(des), zero);
}

// Parity bits (the low bit of each byte) are dropped, not checked or corrected.
TEST(DesKey, ParityBitsAreIgnored) {
    EXPECT_EQ(fingerprintOf("\x01\x01\x01\x01\x01\x01\x01\x01"),
              fingerprintOf(std::string(8, '\0')));
    EXPECT_EQ(fingerprintOf("ABCDEFGH"), fingerprintOf("@BBDDFFH"));
}

TEST(DesKey, OperationKeyArgumentReplacesOnlyWhenGiven) {
    clsDES des;
    des.Key("first");
    clsDES::Bytes data = {1, 2, 3};
    ASSERT_TRUE(des.EncryptByte(data, "second"));
    EXPECT_EQ(fingerprint(des), fingerprintOf("second"));
    ASSERT_TRUE(des.DecryptByte(data));
    EXPECT_EQ(data, (clsDES::Bytes{1, 2, 3}));
    EXPECT_EQ(fingerprint(des), fingerprintOf("second"));
}

} // namespace
