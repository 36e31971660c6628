#pragma once

#include "card/card_memory.h"

#include <array>
#include <cstdint>
#include <span>

namespace ostrel::reader {

// The SLE4442 chip as a card carries it: main memory, the protection bits of bytes 0..31,
// the 24-bit security code and its error counter, and whether writing is unlocked.
class Sle4442Chip {
public:
    Sle4442Chip();

    // A blank chip straight from the factory: header, supplier byte, every other byte FF.
    static Sle4442Chip Blank(std::uint8_t supplier, std::uint32_t code);

    card::CardMemory& memory() { return memory_; }
    const card::CardMemory& memory() const { return memory_; }

    // The code as given to PresentSecurityCode: its least significant byte is sent first.
    std::uint32_t code() const { return code_; }
    void setCode(std::uint32_t code) { code_ = code & 0xFFFFFF; }

    // One set bit per attempt left; 7 means three attempts.
    std::uint8_t errorCounter() const { return counter_; }
    void setErrorCounter(std::uint8_t counter) { counter_ = counter & 0x07; }
    int attemptsLeft() const;

    bool writable(int address) const;
    bool protectionBit(int address) const {
        return protection_.at(static_cast<std::size_t>(address));
    }
    void setProtectionBit(int address, bool writable) {
        protection_.at(static_cast<std::size_t>(address)) = writable;
    }

    bool answersAsSle4442() const;
    bool unlocked() const { return unlocked_; }

    // Power-on, reset or a new session: writing needs the code again.
    void powerCycle() { unlocked_ = false; }

    // Clears one set bit, then compares; a match erases the counter back to 7 and unlocks.
    // At 0 nothing is compared. Returns the counter after the compare.
    std::uint8_t presentCode(const std::array<std::uint8_t, 3>& sent);

    // Writes what the chip accepts and ignores the rest, as a real chip does. True when the
    // memory changed.
    bool write(int address, std::span<const std::uint8_t> data);

    // Protection bits of bytes 0..31 as four bytes, bit 0 of the first byte is address 0.
    std::array<std::uint8_t, 4> protectionBytes() const;

private:
    card::CardMemory memory_{};
    std::array<bool, 32> protection_{};
    std::uint32_t code_ = 0xFFFFFF;
    std::uint8_t counter_ = 7;
    bool unlocked_ = false;
};

// Code bytes in the order they travel: least significant first.
std::array<std::uint8_t, 3> CodeBytes(std::uint32_t code);

} // namespace ostrel::reader
