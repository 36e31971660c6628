#pragma once

#include "card_task.h"
#include "indicator.h"
#include "journal_entries.h"
#include "reader/shared_state.h"
#include "workflow_options.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ostrel::workflows {

// The texts of the window's fields; the window copies them in before a click and out after.
struct DisposableFields {
    std::string programme; // txtprogramme
    std::string credit;    // txtcredit, credits of a token card
    std::string nbcredit;  // txtnbcredit, credits of a credit card
    std::string maxValue;  // txtMaxValue, shown only
};

enum class DisposableOutcome {
    Nothing,      // nothing done yet, or the card did not answer as an SLE4442
    ShownToken,   // a card of the kind "carte JETON" was shown, credits in txtcredit
    ShownCredit,  // "carte CREDIT", credits in txtnbcredit
    ShownUnknown, // "carte inconnue"
    Rewritten,    // a formatted card, rewritten with its own bytes and verified
    Written,      // a token or credit card written and verified
    CodeRefused,  // the card refused the code, or the code was withheld
    Failed,       // a read or a write did not go through
    Refused,      // a button refused its input, the missing card or the journal: no card traffic
};

// The credits a token programme gives, as txtcredit then shows them; nothing for a programme
// that leaves txtcredit as typed.
std::optional<std::string> ProgrammeCredits(int programme);

// Programming disposable token and credit cards: what frmDisposable decides and shows.
class DisposableWorkflow {
public:
    explicit DisposableWorkflow(reader::SharedState& state, WorkflowOptions options = {});

    void Load();
    void Unload();
    void CardInserted();
    void CardRemoved();
    void WriteCreditCard(); // cmdWriteBlankDisposable, with the credits of txtnbcredit
    void WriteTokenCard();  // cmdWriteValueDisposable, by txtprogramme and txtcredit

    // An operation waits for the journal beside the window's thread: the window polls.
    bool pending() const { return steps_.pending(); }
    bool Poll(std::chrono::milliseconds grace = {}) { return steps_.Poll(grace); }
    base::Waiting* waiting() const { return options_.waiting; }
    // The last warning about the journal (opened anew after its file vanished or was
    // replaced); it stays until another replaces it.
    const std::string& warning() const { return warning_; }
    void setOnWaitEnded(std::function<void()> told) { steps_.setOnEnded(std::move(told)); }

    DisposableFields& fields() { return fields_; }
    const DisposableFields& fields() const { return fields_; }
    const std::string& info() const { return info_; }
    Indicator indicator() const { return indicator_; }
    DisposableOutcome outcome() const { return outcome_; }
    // What went wrong besides the card (the journal), empty when nothing did.
    const std::string& problem() const { return problem_; }
    // The card was written but its journal entry waits in the station's spool: what to tell the
    // operator; empty otherwise.
    const std::string& notice() const { return notice_; }
    // The card in the reader was read whole at its insertion: the buttons may write it.
    bool cardReady() const;
    // A button may start a write: none runs, and none was sent to the card since its
    // insertion. One write per insertion: pulling the card and putting it back allows the next.
    bool mayWrite() const { return !pending() && !writtenThisInsertion_; }

    // Called once the indicator turned yellow, before any card traffic.
    std::function<void()> onHandling;

private:
    CardTask Insertion();
    CardTask RewriteFormattedCard();
    CardTask ShowDisposableCard();
    void CallOff();
    // Checks what needs no card traffic: the date to write, or nothing after saying why.
    std::optional<card::CardDate> ReadyToWrite();
    CardTask WriteDisposable(card::CardDate date, std::uint8_t kind, int credits,
                             std::optional<std::string> creditShown);
    void Refuse(const std::string& text, const std::string& problem = {});
    // Ends the session and shows why the code was refused or withheld.
    void RefuseCode(const Presentation& presented);

    reader::SharedState& state_;
    WorkflowOptions options_;
    DisposableFields fields_;
    std::string info_;
    Indicator indicator_ = Indicator::Green;
    DisposableOutcome outcome_ = DisposableOutcome::Nothing;
    std::string problem_;
    std::string notice_;
    bool cardRead_ = false;
    bool cardOurs_ = false;             // formatted by this system: it holds a serial
    bool writtenThisInsertion_ = false; // a button's write reached the card
    std::string warning_;
    BesideSteps steps_; // last: its operation goes first, while what it uses is still there
};

} // namespace ostrel::workflows
