#pragma once

#include "reader/shared_state.h"

#include <cstdint>

namespace ostrel::workflows {

// How a code presentation went, in the convention of PresentSecurityCode: above 6 accepted,
// 1..6 attempts left, 0 locked for good, negative a reader error.
struct Presentation {
    std::int32_t result = 0;
    bool withheld = false; // nothing was presented, to keep the card's last attempt
};

// Reads the error counter before presenting code, and presents nothing when that would spend
// the card's last attempt (unless spendLast) or when the card has none left. A withheld
// presentation ends the session and reports the attempts left as its result.
Presentation PresentCodeSparingLastAttempt(reader::SharedState& state, std::uint32_t code,
                                           bool spendLast);

// UnlockCard with the same guard: presents the card's own code. False when it was refused or
// withheld; the session is then ended and InfoMessage says why.
bool UnlockCardSparingLastAttempt(reader::SharedState& state, bool spendLast);

} // namespace ostrel::workflows
