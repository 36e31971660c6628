#pragma once

#include "card_check.h"
#include "card_task.h"
#include "indicator.h"
#include "journal_entries.h"
#include "reader/shared_state.h"
#include "replacement.h"
#include "serial_reservation.h"
#include "serial_series.h"

#include "serial_store.h"
#include "workflow_options.h"
#include <memory>

#include <cstdint>
#include <functional>
#include <mutex>
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
    Blocked,          // nothing was presented: no usable serial, no date, no journal, or
                      // the card is in opposition
    Replaced,         // a blank card formatted and given a lost card's kind and credits
};

// The formatting of blank cards: what frmFormat decides and shows, without the window.
// A serial is reserved once the blank card accepted its code and before it is written (see
// SerialSeries::Reserve); then the card is written and its record finished. A format that fails
// after the reservation leaves a gap in the series, never a duplicate; one refused before it uses
// up no serial.
class FormatWorkflow {
public:
    FormatWorkflow(reader::SharedState& state, SerialSeries& series, WorkflowOptions options = {});
    // The series of this station's own configuration, kept in store.
    FormatWorkflow(reader::SharedState& state, SerialStore& store, WorkflowOptions options = {});
    ~FormatWorkflow();
    FormatWorkflow(const FormatWorkflow&) = delete;
    FormatWorkflow& operator=(const FormatWorkflow&) = delete;

    void Load();
    void Unload();
    // From now on, the next blank card replaces a lost card (see PrepareReplacement), once;
    // formatted cards are refused. Set before Load, or with no card in the reader.
    void SetReplacement(const Replacement& replacement);
    const std::optional<Replacement>& replacement() const { return replacement_; }
    // The serial of the card that replaced it, once written.
    std::optional<std::int64_t> replacedBy() const { return replacedBy_; }
    // Handles the card inserted; with options.waitBeside it may still be pending on return.
    void CardInserted();
    void CardRemoved();

    // The operation waits for the configuration or the journal, beside the window's thread.
    bool pending() const { return steps_.pending(); }
    // On the window's thread: goes on with a pending operation whose wait has ended, and shows
    // the next serial read beside it; true when the operation went on.
    bool Poll(std::chrono::milliseconds grace = {});
    base::Waiting* waiting() const { return options_.waiting; }
    // The last warning about the journal (opened anew after its file vanished or was
    // replaced); it stays until another replaces it.
    const std::string& warning() const { return warning_; }
    // Told, on the waiting thread, that a wait ended.
    void setOnWaitEnded(std::function<void()> told);

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
    // The card was written but its journal entry waits in the station's spool: what to tell the
    // operator; empty otherwise.
    const std::string& notice() const { return notice_; }
    // The configured serial, as last read, is unusable.
    bool formattingBlocked() const { return !blockedText_.empty(); }

    // Called once the indicator turned yellow, before any card traffic, so that a window
    // repaints at once.
    std::function<void()> onHandling;

    // Reads the next serial again for showing it: beside a window when the series is a server's,
    // on a thread of its own that a card's operation never waits for, nor it for the operation.
    void RefreshNextSerial();

private:
    // Reads "NextSerial" for showing it; sets blockedText_ when it is unusable.
    void ReadNextSerial();
    // On the window's thread, once the read beside it ended.
    void ShowRefreshed();
    void StopRefresh();
    void Told();
    CardTask Insertion();
    // A format of this serial that never finished, recorded as the journal entry entry.
    struct Unfinished {
        std::int64_t serial;
        std::int64_t entry;
    };
    // A card formatted, or on its way to be: finished, formatted anew or rewritten.
    CardTask HandleFormattedCard();
    // Formats the card in the reader: with a new serial, or finishing unfinished; a card left
    // part-way with a serial the journal does not know (incompleteSerial) says so.
    FormatWorkflow(reader::SharedState& state, std::unique_ptr<SerialSeries> own,
                   SerialSeries* series, WorkflowOptions options);
    CardTask FormatBlankCard(std::optional<Unfinished> unfinished,
                             std::optional<std::int64_t> incompleteSerial = std::nullopt);
    CardTask RewriteFormattedCard();
    // A write the card did not take: its record ends failed, the window shows why in red.
    CardTask FailWrite(JournalledOperation& record, std::int32_t written);
    // Gives the card just formatted with serial (its bytes: formatted) the lost card's value.
    CardTask WriteReplacement(std::int64_t serial, card::CardMemory formatted);
    // Drops an operation still waiting.
    void CallOff();
    void Refuse(const std::string& text, const std::string& problem);
    // Ends the session and shows why the code was refused or withheld.
    void RefuseCode(const Presentation& presented);
    void ShowIdle();

    reader::SharedState& state_;
    std::unique_ptr<SerialSeries> ownSeries_;
    SerialSeries& series_;
    WorkflowOptions options_;
    std::optional<std::int64_t> nextSerial_;
    std::string blockedText_; // set while the configured serial is unusable
    std::string problem_;
    std::string notice_;
    std::string info_;
    Indicator indicator_ = Indicator::Green;
    std::string nextText_;
    std::string oldText_;
    FormatOutcome outcome_ = FormatOutcome::Nothing;
    bool cardIn_ = false; // from insertion to removal
    std::int64_t serialWritten_ = -1;
    std::int64_t oldSerial_ = -1;
    std::optional<Replacement> replacement_;
    std::optional<std::int64_t> replacedBy_;
    std::string warning_;
    std::uint64_t operations_ = 0; // cards inserted: a read begun before one is stale
    // The next serial read beside the window: its own wait, called off when the window goes.
    base::Waiting refreshWaiting_;
    ConfiguredRead glanced_;
    std::uint64_t glancedFrom_ = 0;
    bool refreshAgain_ = false;
    std::mutex toldMutex_;
    std::function<void()> told_;
    base::BesideTask refresh_;
    BesideSteps steps_; // last: its operation goes first, while what it uses is still there
};

} // namespace ostrel::workflows
