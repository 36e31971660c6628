#pragma once

#include "indicator.h"
#include "reader/security_code.h"
#include "reader/shared_state.h"

#include <cstdint>
#include <string>

namespace ostrel::workflows {

// How a code presentation went.
struct Presentation {
    reader::CodeResult result;
    bool withheld = false; // nothing was presented, to keep the card's last attempt
};

// Reads the error counter before presenting code, and presents nothing when that would spend
// the card's last attempt (unless spendLast) or when the card has none left. A withheld
// presentation ends the session; its result is the attempts left, or the reader's error.
Presentation PresentCodeSparingLastAttempt(reader::SharedState& state, std::uint32_t code,
                                           bool spendLast);

// After a refused or withheld presentation: ends the session and gives the text a window shows;
// the indicator turns red when nothing was presented.
void ShowCodeRefusal(reader::SharedState& state, const Presentation& presented, std::string& info,
                     Indicator& indicator);

// UnlockCard with the same guard: presents the card's own code. When it was refused or
// withheld, the session is ended and InfoMessage says why.
Presentation UnlockCardSparingLastAttempt(reader::SharedState& state, bool spendLast);

} // namespace ostrel::workflows
