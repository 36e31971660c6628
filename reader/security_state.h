#pragma once

#include "shared_state.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ostrel::reader {

// What a card tells of its security without a code being presented: the attempts left and
// which of bytes 0..31 are protected for good. A part the reader cannot read stays empty.
struct SecurityState {
    std::optional<int> attemptsLeft;
    std::optional<std::array<std::uint8_t, 4>>
        protectionBits; // bit 0 of [0] is byte 0; 1 = writable
};

// Reads it in a card session of its own, ended before returning. Neither presents a code nor
// writes: the error counter is as it was. Both parts stay empty when no session starts.
SecurityState ReadSecurityState(SharedState& state);

// "3 essais ; octets protégés : 0–3, 25", "… : aucun"; "inconnu" for a part not read.
std::string SecurityStateText(const SecurityState& security);

} // namespace ostrel::reader
