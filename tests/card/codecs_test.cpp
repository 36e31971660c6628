#include "card/codecs.h"

#include <gtest/gtest.h>

using namespace ostrel::card;

TEST(Crc16, MatchesXmodemCheckValues) {
    CardMemory m{};
    EXPECT_EQ(Crc16Range(m, 0, 0), 0);
    m[0] = 'a';
    m[1] = 'b';
    m[2] = 'c';
    EXPECT_EQ(Crc16Range(m, 0, 3), 0x9DD6);
    const char* digits = "123456789";
    for (int i = 0; i < 9; ++i)
        m[static_cast<std::size_t>(10 + i)] = static_cast<std::uint8_t>(digits[i]);
    EXPECT_EQ(Crc16Range(m, 10, 9), 0x31C3); // the published XMODEM check value
}

TEST(Crc16, BlockEndingWithItsOwnCrcChecksToZero) {
    CardMemory m{};
    for (int i = 0; i < 14; ++i)
        m[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37 + 5);
    const std::uint16_t crc = Crc16Range(m, 0, 14);
    m[14] = static_cast<std::uint8_t>(crc >> 8);
    m[15] = static_cast<std::uint8_t>(crc);
    EXPECT_EQ(Crc16Range(m, 0, 16), 0);
}

TEST(CardLong, BigEndianRoundTripAndUnsignedRead) {
    CardMemory m{};
    WriteCardLong(m, 13, 1000000);
    EXPECT_EQ(m[13], 0x00);
    EXPECT_EQ(m[14], 0x0F);
    EXPECT_EQ(m[15], 0x42);
    EXPECT_EQ(m[16], 0x40);
    EXPECT_EQ(ReadCardLong(m, 13), 1000000);

    m.fill(0xFF);
    EXPECT_EQ(ReadCardLong(m, 0), 4294967295LL);
}

TEST(CardLong, NegativeValuesAreTwosComplement) {
    CardMemory m{};
    WriteCardLong(m, 0, -1);
    EXPECT_EQ(ReadCardLong(m, 0), 0xFFFFFFFFLL);
    WriteCardLong(m, 0, -256);
    EXPECT_EQ(ReadCardLong(m, 0), 0xFFFFFF00LL);
    WriteCardLong(m, 0, 2147483647);
    EXPECT_EQ(ReadCardLong(m, 0), 2147483647);
}

TEST(ByteToHex, TwoUpperCaseDigits) {
    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(10), "0A");
    EXPECT_EQ(ByteToHex(255), "FF");
    std::uint8_t b = 0;
    EXPECT_TRUE(HexPairToByte('a', 'F', b));
    EXPECT_EQ(b, 0xAF);
    EXPECT_FALSE(HexPairToByte('G', '0', b));
    EXPECT_FALSE(HexPairToByte('0', ' ', b));
}
