#pragma once

#include "indicator.h"
#include "reader/shared_state.h"
#include "serial_store.h"
#include "workflow_options.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ostrel::workflows {

// How the last card insertion ended.
enum class FormatOutcome {
    Nothing,          // no card handled yet, or the card did not answer as an SLE4442
    Formatted,        // a blank card now holds its serial, verified
    AlreadyFormatted, // a formatted card, rewritten with its own bytes and verified
    CodeRefused,      // the card refused its code, or the code was withheld
    Failed,           // a read or a write did not go through
    Blocked,          // nothing was presented: no usable serial, no date, or a save pending
};

// The formatting of blank cards: what frmFormat decides and shows, without the window.
// Blank cards receive the next serial, which advances after each verified format and is saved
// at once; a duplicate serial is worse than a pause, so nothing is formatted while the
// configured serial is unusable or the advanced one could not be saved.
class FormatWorkflow {
public:
    FormatWorkflow(reader::SharedState& state, SerialStore& store, WorkflowOptions options = {});

    void Load();
    void Unload();
    void CardInserted();
    void CardRemoved();

    // What the window shows.
    const std::string& info() const { return info_; }               // lblInfo
    Indicator indicator() const { return indicator_; }              // shpLED
    const std::string& nextSerialText() const { return nextText_; } // lblNextSerial
    const std::string& oldSerialText() const { return oldText_; }   // lblOldSerial

    FormatOutcome outcome() const { return outcome_; }
    // The serial given to the last blank card formatted, and the one read from the last
    // formatted card rewritten.
    std::int64_t serialWritten() const { return serialWritten_; }
    std::int64_t oldSerial() const { return oldSerial_; }

    // Why formatting is refused (with the file), empty when it is not; for the command line
    // and the window's tooltip.
    const std::string& problem() const { return problem_; }
    bool formattingBlocked() const { return !blockedText_.empty() || savePending_; }

    // Called once the indicator turned yellow, before any card traffic, so that a window
    // repaints at once.
    std::function<void()> onHandling;

private:
    void FormatBlankCard();
    void RewriteFormattedCard();
    // The card in hand holds serial: the next blank card gets the following one.
    void AdvancePast(std::int64_t serial);
    bool SavePendingSerial();
    // After a card was done: says so when the next serial is still unsaved.
    void ReportPendingSave();
    void Refuse(const std::string& text);
    void ShowIdle();

    reader::SharedState& state_;
    SerialStore& store_;
    WorkflowOptions options_;
    std::optional<std::int64_t> nextSerial_;
    std::string blockedText_; // set while the configured serial is unusable
    bool savePending_ = false;
    std::string problem_;
    std::string info_;
    Indicator indicator_ = Indicator::Green;
    std::string nextText_;
    std::string oldText_;
    FormatOutcome outcome_ = FormatOutcome::Nothing;
    std::int64_t serialWritten_ = -1;
    std::int64_t oldSerial_ = -1;
};

} // namespace ostrel::workflows
