#include "reader/sle4442_chip.h"

#include <bit>
#include <gtest/gtest.h>
#include <vector>

using namespace ostrel::reader;

namespace {
constexpr std::uint32_t kCode = 0x5E2B71;
const std::array<std::uint8_t, 3> kWrong = {0, 0, 0};
} // namespace

TEST(ChipModel, EachRefusalClearsOneSetBitAndThreeLockForGood) {
    Sle4442Chip chip = Sle4442Chip::Blank(0x04, kCode);
    std::uint8_t previous = chip.errorCounter();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::uint8_t now = chip.presentCode(kWrong);
        // One bit gone, whichever: a real chip may clear them in any order.
        EXPECT_EQ(std::popcount(static_cast<unsigned>(now)),
                  std::popcount(static_cast<unsigned>(previous)) - 1);
        EXPECT_EQ(now & ~previous, 0);
        EXPECT_FALSE(chip.unlocked());
        previous = now;
    }
    EXPECT_EQ(chip.errorCounter(), 0);
    // Locked for good: even the right code compares nothing.
    EXPECT_EQ(chip.presentCode(CodeBytes(kCode)), 0);
    EXPECT_FALSE(chip.unlocked());
}

TEST(ChipModel, MatchRestoresSevenAndUnlocksUntilPowerCycle) {
    Sle4442Chip chip = Sle4442Chip::Blank(0x04, kCode);
    chip.presentCode(kWrong);
    chip.presentCode(kWrong);
    EXPECT_EQ(chip.attemptsLeft(), 1);
    EXPECT_EQ(chip.presentCode(CodeBytes(kCode)), 7);
    EXPECT_TRUE(chip.unlocked());
    chip.powerCycle();
    EXPECT_FALSE(chip.unlocked());
}

TEST(ChipModel, CodeTravelsLeastSignificantByteFirst) {
    const auto bytes = CodeBytes(0x5E2B71);
    EXPECT_EQ(bytes[0], 0x71);
    EXPECT_EQ(bytes[1], 0x2B);
    EXPECT_EQ(bytes[2], 0x5E);
    Sle4442Chip chip = Sle4442Chip::Blank(0x04, 0x5E2B71);
    EXPECT_EQ(chip.presentCode({0x5E, 0x2B, 0x71}), 6); // reversed order is a wrong code
}

TEST(ChipModel, WritesIgnoredWhileLockedAndOnProtectedBytes) {
    Sle4442Chip chip = Sle4442Chip::Blank(0x04, kCode);
    const std::vector<std::uint8_t> data = {0x11, 0x22};
    EXPECT_FALSE(chip.write(40, data));
    EXPECT_EQ(chip.memory()[40], 0xFF);

    chip.setProtectionBit(7, false);
    chip.presentCode(CodeBytes(kCode));
    const std::vector<std::uint8_t> header = {0x15};
    EXPECT_FALSE(chip.write(7, header)); // burnt protection bit
    EXPECT_EQ(chip.memory()[7], 0xFF);
    EXPECT_TRUE(chip.write(6, data)); // 6 writable, 7 not
    EXPECT_EQ(chip.memory()[6], 0x11);
    EXPECT_EQ(chip.memory()[7], 0xFF);
    EXPECT_TRUE(chip.write(254, data));
    EXPECT_EQ(chip.memory()[255], 0x22);
    chip.write(255, data); // the byte past the end is dropped
    EXPECT_EQ(chip.memory()[255], 0x11);
}

TEST(ChipModel, ProtectionBytesPutAddressZeroInBitZero) {
    Sle4442Chip chip;
    chip.setProtectionBit(0, false);
    chip.setProtectionBit(9, false);
    const auto bytes = chip.protectionBytes();
    EXPECT_EQ(bytes[0], 0xFE);
    EXPECT_EQ(bytes[1], 0xFD);
    EXPECT_EQ(bytes[2], 0xFF);
}
