#pragma once

#include "monitor_view.h"
#include "reader/shared_state.h"

#include <string>

namespace ostrel::app {

// Follows the reader and the card, one tick at a time: opens the reader while none answers,
// polls it, shows the state in the caption, and on a change of card presence either tells the
// open workflow window or identifies the card and shows its dump. The only writer of
// ReaderState.
class ReaderMonitor {
public:
    ReaderMonitor(reader::SharedState& state, MonitorView& view);

    // One timer tick. A tick that sees no change polls once, allocates nothing and returns
    // false; true when it opened the reader, saw a card come or go, or lost the reader.
    bool tick();

    // The main window's unload: the reader is closed last.
    void closeReader();

    static constexpr int kTickMilliseconds = 200;

private:
    // False when the tick ends in the open phase.
    bool openPhase();
    // False when the card was already seen as it is.
    bool cardPresent();
    bool noCard();
    void pollFailed();

    bool workflowOpen() const { return state_.FormatActive || state_.DisposableActive; }
    // Formatting first, then disposable; null with neither open.
    workflows::CardEvents* workflowWindow();

    reader::SharedState& state_;
    MonitorView& view_;
    // Built once so that a tick never builds a string.
    const std::string captionNoReader_;
    const std::string captionNoCard_;
    const std::string captionCardInside_;
    // A workflow window's card handling may run a nested event loop (a message box); the ticks
    // it lets through must not overlap the one still running.
    bool ticking_ = false;
};

} // namespace ostrel::app
