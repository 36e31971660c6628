#include "sle4442_chip.h"

#include "card/card_layout.h"

#include <algorithm>
#include <bit>

namespace ostrel::reader {

Sle4442Chip::Sle4442Chip() {
    memory_.fill(0xFF);
    protection_.fill(true);
}

Sle4442Chip Sle4442Chip::Blank(std::uint8_t supplier, std::uint32_t code) {
    Sle4442Chip chip;
    std::copy(card::layout::kSle4442Header.begin(), card::layout::kSle4442Header.end(),
              chip.memory_.begin());
    chip.memory_[card::layout::kSupplierByte] = supplier;
    chip.setCode(code);
    return chip;
}

int Sle4442Chip::attemptsLeft() const {
    return std::popcount(static_cast<unsigned>(counter_));
}

bool Sle4442Chip::writable(int address) const {
    if (!unlocked_ || address < 0 || address >= static_cast<int>(card::kCardSize)) {
        return false;
    }
    return address >= card::layout::kProtectedLength ||
           protection_[static_cast<std::size_t>(address)];
}

bool Sle4442Chip::answersAsSle4442() const {
    return std::equal(card::layout::kSle4442Header.begin(), card::layout::kSle4442Header.end(),
                      memory_.begin());
}

std::uint8_t Sle4442Chip::presentCode(const std::array<std::uint8_t, 3>& sent) {
    if (counter_ == 0) {
        return 0;
    }
    // The lowest set bit goes first; real chips differ in the order, callers must not care.
    counter_ = static_cast<std::uint8_t>(counter_ & (counter_ - 1));
    if (sent == CodeBytes(code_)) {
        counter_ = 7;
        unlocked_ = true;
    }
    return counter_;
}

bool Sle4442Chip::write(int address, std::span<const std::uint8_t> data) {
    bool changed = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int target = address + static_cast<int>(i);
        if (writable(target) && memory_[static_cast<std::size_t>(target)] != data[i]) {
            memory_[static_cast<std::size_t>(target)] = data[i];
            changed = true;
        }
    }
    return changed;
}

std::array<std::uint8_t, 4> Sle4442Chip::protectionBytes() const {
    std::array<std::uint8_t, 4> bytes{};
    for (int address = 0; address < 32; ++address) {
        if (protection_[static_cast<std::size_t>(address)]) {
            bytes[static_cast<std::size_t>(address / 8)] |=
                static_cast<std::uint8_t>(1u << (address % 8));
        }
    }
    return bytes;
}

std::array<std::uint8_t, 3> CodeBytes(std::uint32_t code) {
    return {static_cast<std::uint8_t>(code & 0xFF), static_cast<std::uint8_t>((code >> 8) & 0xFF),
            static_cast<std::uint8_t>((code >> 16) & 0xFF)};
}

} // namespace ostrel::reader
