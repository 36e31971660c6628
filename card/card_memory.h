#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel::card {

// Main memory of an SLE4442 card, indexed by card address.
inline constexpr std::size_t kCardSize = 256;
using CardMemory = std::array<std::uint8_t, kCardSize>;

inline CardMemory FilledMemory(std::uint8_t value) {
    CardMemory m;
    m.fill(value);
    return m;
}

} // namespace ostrel::card
