#pragma once

#include "indicator.h"
#include "journal_entries.h"
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
    Blocked,          // nothing was presented: no usable serial, no date, no journal
};

// The formatting of blank cards: what frmFormat decides and shows, without the window.
// A serial is reserved before a blank card is touched: under the lock of the configuration,
// "NextSerial" is read, checked against the journal, advanced and saved, and the format is
// recorded as interrupted; only then is the card written, and its record finished. A format
// that fails after the reservation leaves a gap in the series, never a duplicate; a serial
// that cannot be reserved formats nothing.
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

    // Why formatting is refused or what went wrong besides the card (with the file), empty when
    // nothing did; for the command line and the window's tooltip.
    const std::string& problem() const { return problem_; }
    // The configured serial, as last read, is unusable.
    bool formattingBlocked() const { return !blockedText_.empty(); }

    // Called once the indicator turned yellow, before any card traffic, so that a window
    // repaints at once.
    std::function<void()> onHandling;

private:
    // Reads "NextSerial" for showing it; sets blockedText_ when it is unusable.
    void ReadNextSerial();
    // Takes a serial for the card in the reader: the journal entry of its format is added.
    std::optional<std::int64_t> ReserveSerial(JournalledOperation& record);
    std::optional<std::int64_t> ReserveOnServer(JournalledOperation& record);
    void FormatBlankCard();
    void RewriteFormattedCard();
    void Refuse(const std::string& text, const std::string& problem);
    // Ends the session and shows why the code was refused or withheld.
    void RefuseCode(const Presentation& presented);
    void ShowIdle();

    reader::SharedState& state_;
    SerialStore& store_;
    WorkflowOptions options_;
    std::optional<std::int64_t> nextSerial_;
    std::string blockedText_; // set while the configured serial is unusable
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
