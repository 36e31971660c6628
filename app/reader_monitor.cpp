#include "reader_monitor.h"

#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/security_state.h"
#include "window_title.h"

namespace ostrel::app {

using reader::kReaderAbsent;
using reader::kReaderCardInside;
using reader::kReaderEmpty;
using reader::kReaderNeverOpened;

ReaderMonitor::ReaderMonitor(reader::SharedState& state, MonitorView& view)
    : state_(state), view_(view), captionNoReader_(std::string(kWindowTitle) + kSuffixNoReader),
      captionNoCard_(std::string(kWindowTitle) + kSuffixNoCard),
      captionCardInside_(std::string(kWindowTitle) + kSuffixCardInside) {}

bool ReaderMonitor::tick() {
    if (ticking_)
        return false;
    ticking_ = true;
    bool changed = true;
    const bool reopen =
        state_.ReaderState == kReaderNeverOpened || state_.ReaderState == kReaderAbsent;
    if (!reopen || openPhase()) {
        reader::InfoRecord info; // zero-filled
        if (state_.Reader.GetInfo(state_.ReaderHandle, info) < 0) {
            pollFailed();
        } else if (info.cardPresent()) {
            changed = cardPresent();
        } else {
            changed = noCard();
        }
    }
    ticking_ = false;
    return changed;
}

bool ReaderMonitor::openPhase() {
    state_.Reader.Close(0);
    state_.ReaderHandle = state_.Reader.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
    view_.unloadDump();
    view_.showWelcome();
    const std::int16_t now = state_.ReaderHandle < 0 ? kReaderAbsent : kReaderEmpty;
    if (now == state_.ReaderState)
        return true;
    state_.ReaderState = now;
    if (now == kReaderAbsent) {
        view_.setCaption(captionNoReader_);
        return false;
    }
    view_.setCaption(captionNoCard_);
    // The welcome window covered everything while no reader answered; a workflow window opened
    // meanwhile is the one to see now.
    if (workflowOpen())
        view_.showWorkflow();
    return true;
}

bool ReaderMonitor::cardPresent() {
    if (state_.ReaderState == kReaderCardInside)
        return false; // one insertion is dispatched once
    state_.ReaderState = kReaderCardInside;
    view_.setCaption(captionCardInside_);
    if (workflowOpen()) {
        // The window that handles the card is the one the operator must see, whatever
        // window (the journal, say) was brought over it meanwhile.
        view_.showWorkflow();
        if (auto* window = workflowWindow())
            window->CardInserted();
        return true;
    }
    // The verdict is left in InfoMessage for the dump.
    const bool answered = reader::IdentifyCard(state_) != reader::kIdentifyNoAnswer;
    reader::EndCardSession(state_);
    view_.showDump();
    if (answered)
        view_.setCardSecurity(reader::SecurityStateText(reader::ReadSecurityState(state_)));
    return true;
}

bool ReaderMonitor::noCard() {
    if (state_.ReaderState == kReaderEmpty)
        return false;
    state_.ReaderState = kReaderEmpty;
    view_.setCaption(captionNoCard_);
    view_.unloadDump();
    if (auto* window = workflowWindow())
        window->CardRemoved();
    return true;
}

// The reader stopped answering: forget it and open it again on the next ticks, so that a card
// swapped meanwhile is identified afresh instead of leaving the old card's dump on screen.
void ReaderMonitor::pollFailed() {
    view_.setCaption(captionNoReader_);
    const bool hadCard = state_.ReaderState == kReaderCardInside;
    if (state_.ReaderHandle >= 0)
        state_.Reader.Close(state_.ReaderHandle);
    state_.ReaderHandle = reader::kErrNoReader;
    state_.ReaderState = kReaderAbsent;
    view_.unloadDump();
    if (hadCard) {
        if (auto* window = workflowWindow())
            window->CardRemoved();
    }
}

void ReaderMonitor::closeReader() {
    if (state_.ReaderHandle >= 0)
        state_.Reader.Close(state_.ReaderHandle);
    state_.ReaderHandle = reader::kErrNoReader;
}

workflows::CardEvents* ReaderMonitor::workflowWindow() {
    if (state_.FormatActive)
        return view_.formatWindow();
    if (state_.DisposableActive)
        return view_.disposableWindow();
    return nullptr;
}

} // namespace ostrel::app
