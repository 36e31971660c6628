#include "code_presentation.h"

#include "reader/card_session.h"
#include "reader/security_code.h"

namespace ostrel::workflows {

namespace {

// Nothing presented yet: the counter decides whether anything may be.
bool MayPresent(reader::SharedState& state, bool spendLast, Presentation& withheld) {
    const std::int32_t counter = reader::ReadErrorCounter(state);
    std::int32_t refused = counter; // a reader error, or the attempts left
    if (counter >= 0) {
        const int left = reader::AttemptsLeft(counter);
        if (left > 1 || (left == 1 && spendLast))
            return true;
        refused = left;
    }
    withheld = {reader::CodeResult::FromPresentation(refused), true};
    reader::EndCardSession(state);
    state.InfoMessage = withheld.result.refusalText();
    return false;
}

} // namespace

Presentation PresentCodeSparingLastAttempt(reader::SharedState& state, std::uint32_t code,
                                           bool spendLast) {
    Presentation presentation;
    if (!MayPresent(state, spendLast, presentation))
        return presentation;
    return {reader::PresentCode(state, code), false};
}

void ShowCodeRefusal(reader::SharedState& state, const Presentation& presented, std::string& info,
                     Indicator& indicator) {
    reader::EndCardSession(state);
    info = presented.result.refusalText();
    if (presented.withheld)
        indicator = Indicator::Red;
}

Presentation UnlockCardSparingLastAttempt(reader::SharedState& state, bool spendLast) {
    Presentation presentation;
    if (!MayPresent(state, spendLast, presentation))
        return presentation;
    presentation = {reader::PresentCode(state, reader::CardSecurityCode(state)), false};
    if (!presentation.result.accepted()) {
        reader::EndCardSession(state);
        state.InfoMessage = presentation.result.refusalText();
    }
    return presentation;
}

} // namespace ostrel::workflows
