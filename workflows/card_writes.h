#pragma once

#include "card/card_date.h"
#include "card/card_layout.h"
#include "card_task.h"
#include "journal/journal.h"
#include "reader/shared_state.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace ostrel::workflows {

// Stages the card header every writer sends: the card's own first fifty bytes, the header
// byte, the application code and the date of writing.
void StageHeader(reader::SharedState& state, const card::CardDate& date);

// Rewriting a formatted card: recorded in the journal first, then unlock it with its own code
// (sparing its last attempt unless spendLastAttempt), then stage bytes 32..255 from the card's
// own image, so that nothing of another card or of earlier staging lands on it; what equals the
// card's bytes is not written.
struct TailRewrite {
    enum class Result { NotJournalled, CodeRefused, WriteFailed, Done } result = Result::Done;
    std::string failureText;  // what the window shows when it did not succeed
    std::string journalError; // the journal's reason when it did not take the operation
    std::string pending;      // why its end waits in the spool; empty once recorded
};
CardTask RewriteOwnTail(reader::SharedState& state, bool spendLastAttempt,
                        const journal::Writer& journal, BesideSteps& steps, TailRewrite& rewrite);

// Writes the ranges of WriteImage in order, each verified by read-back; stops at the first
// that fails and returns its result, or 0 when the card holds every byte.
std::int32_t WriteRanges(reader::SharedState& state,
                         std::initializer_list<card::layout::Range> ranges);

} // namespace ostrel::workflows
