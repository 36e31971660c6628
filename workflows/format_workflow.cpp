#include "format_workflow.h"

#include "card/card_layout.h"
#include "card/codecs.h"
#include "card_writes.h"
#include "code_presentation.h"
#include "inserted_card.h"
#include "local_serial_series.h"
#include "reader/card_session.h"
#include "reader/security_code.h"
#include "serial_numbers.h"
#include "serial_reservation.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

using namespace card::layout;

FormatWorkflow::FormatWorkflow(reader::SharedState& state, SerialStore& store,
                               WorkflowOptions options)
    : FormatWorkflow(state, std::make_unique<LocalSerialSeries>(store), nullptr,
                     std::move(options)) {}

FormatWorkflow::FormatWorkflow(reader::SharedState& state, SerialSeries& series,
                               WorkflowOptions options)
    : FormatWorkflow(state, nullptr, &series, std::move(options)) {}

FormatWorkflow::FormatWorkflow(reader::SharedState& state, std::unique_ptr<SerialSeries> own,
                               SerialSeries* series, WorkflowOptions options)
    : state_(state), ownSeries_(std::move(own)), series_(ownSeries_ ? *ownSeries_ : *series),
      options_(std::move(options)),
      refreshWaiting_(options_.waiting ? options_.waiting->limit() : base::kDefaultWaitLimit),
      refresh_(&refreshWaiting_), steps_(options_.waitBeside, options_.waiting) {
    // Set before any thread starts; the window's own callback may come later.
    refresh_.onEnded = [this] { Told(); };
    steps_.setOnEnded([this] { Told(); });
}

FormatWorkflow::~FormatWorkflow() {
    StopRefresh();
}

void FormatWorkflow::Told() {
    const std::lock_guard lock(toldMutex_);
    if (told_)
        told_();
}

void FormatWorkflow::setOnWaitEnded(std::function<void()> told) {
    const std::lock_guard lock(toldMutex_);
    told_ = std::move(told);
}

bool FormatWorkflow::Poll(std::chrono::milliseconds grace) {
    // The next serial read is shown as it comes; only the card's operation is given grace.
    refresh_.Poll();
    return steps_.Poll(grace);
}

void FormatWorkflow::StopRefresh() {
    refresh_.CallOff();
}

void FormatWorkflow::Load() {
    state_.FormatActive = true;
    oldText_.clear();
    ReadNextSerial();
    ShowIdle();
}

void FormatWorkflow::Unload() {
    CallOff();
    StopRefresh();
    state_.FormatActive = false;
}

void FormatWorkflow::CallOff() {
    if (!steps_.pending())
        return;
    steps_.Cancel();
    reader::EndCardSession(state_);
}

void FormatWorkflow::CardRemoved() {
    // A card pulled while its operation waited: the operation stops there, the card untouched.
    CallOff();
    cardIn_ = false;
    // Another program may have formatted cards meanwhile: the window shows the value as it is.
    ReadNextSerial();
    ShowIdle();
}

void FormatWorkflow::RefreshNextSerial() {
    if (refresh_.pending()) {
        refreshAgain_ = true; // the one under way may have begun before a card
        return;
    }
    glancedFrom_ = operations_;
    refresh_.Start([this] { glanced_ = series_.Glance(&refreshWaiting_); },
                   [this] { ShowRefreshed(); });
}

void FormatWorkflow::ShowRefreshed() {
    const ConfiguredRead read = std::move(glanced_);
    // Begun before the last card, or while its operation used the server: the card's own
    // reservation says more.
    if (!read.inUse && glancedFrom_ == operations_) {
        if (cardIn_) {
            // What the card's operation showed stays; only the next serial follows the server.
            if (read.serial) {
                nextSerial_ = read.serial;
                nextText_ = std::to_string(*read.serial);
            }
        } else {
            nextSerial_ = read.serial;
            blockedText_ = read.refusal;
            problem_ = read.problem;
            if (nextSerial_)
                nextText_ = std::to_string(*nextSerial_);
            ShowIdle();
        }
    }
    if (std::exchange(refreshAgain_, false))
        RefreshNextSerial();
}

void FormatWorkflow::ReadNextSerial() {
    // A server may be slow or away: a window does not wait for it.
    if (series_.Remote() && options_.waitBeside)
        return RefreshNextSerial();
    const ConfiguredRead read = series_.Next();
    nextSerial_ = read.serial;
    blockedText_ = read.refusal;
    problem_ = read.problem;
    if (nextSerial_)
        nextText_ = std::to_string(*nextSerial_);
}

void FormatWorkflow::SetReplacement(const Replacement& replacement) {
    replacement_ = replacement;
    replacedBy_.reset();
    if (!cardIn_)
        ShowIdle();
}

void FormatWorkflow::ShowIdle() {
    info_ = !blockedText_.empty() ? blockedText_
            : replacedBy_         ? ReplacementDoneText(*replacement_, *replacedBy_)
            : replacement_        ? ReplacementPrompt(*replacement_)
                                  : std::string(texts::kFormatPrompt);
    indicator_ = formattingBlocked() ? Indicator::Red : Indicator::Green;
}

void FormatWorkflow::Refuse(const std::string& text, const std::string& problem) {
    info_ = text;
    problem_ = problem;
    indicator_ = Indicator::Red;
    outcome_ = FormatOutcome::Blocked;
}

void FormatWorkflow::CardInserted() {
    ++operations_;
    outcome_ = FormatOutcome::Nothing;
    problem_.clear();
    notice_.clear();
    indicator_ = Indicator::Yellow;
    cardIn_ = true;
    if (onHandling)
        onHandling();
    steps_.Run(Insertion());
}

CardTask FormatWorkflow::Insertion() {
    std::string error;
    bool opened = false;
    std::string warning;
    co_await steps_.Beside([&] { opened = OpenJournal(options_.journal, error, warning); });
    // What the last card's reservation passed over is not this card's news.
    warning_ = warning;
    if (!opened) {
        Refuse(texts::JournalRefusal(*options_.journal.journal), error);
        co_return;
    }
    switch (ReadInsertedCard(state_, error)) {
    case InsertedCard::NoAnswer:
        // The prompt stays, the indicator stays yellow until the card is removed.
        break;
    case InsertedCard::ReadFailed:
        info_ = error;
        indicator_ = Indicator::Red;
        outcome_ = FormatOutcome::Failed;
        break;
    case InsertedCard::NotOurs:
        // A replacement is made once: the window is closed after it.
        if (replacedBy_)
            Refuse(ReplacementDoneText(*replacement_, *replacedBy_), {});
        else
            co_await FormatBlankCard({});
        break;
    case InsertedCard::Ours:
        if (replacement_)
            Refuse(texts::kReplacementNeedsBlank, {});
        else
            co_await HandleFormattedCard();
        break;
    }
    reader::EndCardSession(state_);
}

namespace {

// A format writes the header byte, then the serial with the application and the date, then byte
// 255 last: a card with a serial but without the others was left part-way.
bool PartlyFormatted(const card::CardMemory& image) {
    return image[kHeaderByte] != kHeaderByteValue || image[kLastByte] != kLastByteFormatted;
}

} // namespace

CardTask FormatWorkflow::HandleFormattedCard() {
    const std::int64_t serial = card::ReadCardLong(state_.CardImage, kSerialOffset);
    std::optional<std::int64_t> unfinished;
    std::string error;
    bool looked = true;
    CardCheck check;
    if (options_.journal.journal) {
        co_await steps_.Beside([&] {
            check = CheckCard(options_.journal, state_.CardImage);
            looked = options_.journal.journal->UnfinishedFormat(serial, unfinished, error);
        });
    }
    if (check.opposed()) {
        Refuse(check.Text(), {});
        co_return;
    }
    if (!looked) {
        Refuse(texts::JournalRefusal(*options_.journal.journal), error);
        co_return;
    }
    if (unfinished) {
        // Its format was cut off: done again in full, with its serial, and its entry finished.
        co_await FormatBlankCard(Unfinished{serial, *unfinished});
    } else if (PartlyFormatted(state_.CardImage)) {
        // A serial the journal never gave, or whose entry was lost: not trusted, a new one.
        co_await FormatBlankCard({}, serial);
    } else {
        co_await RewriteFormattedCard();
    }
    // Said, recorded and counted; the card is handled all the same.
    if (!check.finding.text.empty())
        info_ += " — " + check.finding.text;
}

CardTask FormatWorkflow::FormatBlankCard(std::optional<Unfinished> unfinished,
                                         std::optional<std::int64_t> incompleteSerial) {
    const auto date = card::ToCardDate(options_.today());
    if (!date) {
        Refuse(texts::kBadDate, texts::kBadDate);
        co_return;
    }
    std::string error;
    reader::StartCardSession(state_); // as identification found it; a failure shows below
    const Presentation presented = PresentCodeSparingLastAttempt(
        state_, reader::FactoryCode(state_.CardImage[kSupplierByte]), options_.spendLastAttempt);
    JournalledOperation record(options_.journal, journal::kFormat, state_.CardImage);
    if (unfinished)
        record.entry().serialOld = unfinished->serial;
    if (incompleteSerial)
        record.entry().serialOld = incompleteSerial;
    if (!presented.result.accepted()) {
        RefuseCode(presented);
        // No serial was taken for it; the refusal is recorded all the same.
        co_await steps_.Beside([&] {
            if (record.Begin(error))
                record.FinishRefused(presented, error);
        });
        problem_ = error;
        co_return;
    }
    std::int64_t serial = 0;
    if (unfinished) {
        serial = unfinished->serial;
        record.Resume(unfinished->entry);
    } else {
        // Reserved only now that the card will be written: a card refused for its code or its
        // supplier uses up no serial. The card waits, untouched, while another program holds
        // the configuration or the journal.
        Reservation reservation;
        co_await steps_.Beside([&] { reservation = series_.Reserve(options_.journal, record); });
        if (!reservation.serial) {
            // A series on a server that just failed is not asked again here: the window reads
            // it beside its thread, the command line ends.
            if (!series_.Remote())
                ReadNextSerial();
            else if (options_.waitBeside)
                RefreshNextSerial();
            Refuse(reservation.refusal, reservation.problem);
            co_return;
        }
        if (!reservation.warning.empty())
            warning_ =
                warning_.empty() ? reservation.warning : warning_ + " ; " + reservation.warning;
        serial = *reservation.serial;
        nextSerial_ = reservation.next;
        nextText_ = std::to_string(*reservation.next);
    }

    StageHeader(state_, *date);
    card::WriteCardLong(state_.WriteImage, kSerialOffset, serial);
    state_.WriteImage[kLastByte] = kLastByteFormatted;
    const std::int32_t written =
        WriteRanges(state_, {kHeaderByteRange, kIdentityRange, kLastByteRange});
    if (written != 0) {
        co_await FailWrite(record, written);
        co_return;
    }
    const card::CardMemory after = AfterWrite(state_.CardImage, state_.WriteImage,
                                              {kHeaderByteRange, kIdentityRange, kLastByteRange});
    co_await steps_.Beside([&] { record.Finish(journal::kVerified, std::nullopt, after, error); });
    if (!record.kept().empty())
        notice_ = ResultPendingText(record.kept());
    serialWritten_ = serial;
    outcome_ = FormatOutcome::Formatted;
    // The indicator stays yellow until the card is removed.
    info_ = incompleteSerial ? texts::kIncompleteFormatDone : texts::kFormatDone;
    oldText_ = std::to_string(serial); // the card just formatted is the last one encoded
    problem_ = error;
    if (replacement_ && !unfinished)
        co_await WriteReplacement(serial, after);
}

CardTask FormatWorkflow::FailWrite(JournalledOperation& record, std::int32_t written) {
    std::string error;
    co_await steps_.Beside(
        [&] { record.Finish(journal::kWriteFailed, std::nullopt, std::nullopt, error); });
    if (!record.kept().empty())
        notice_ = ResultPendingText(record.kept());
    info_ = texts::WriteFailureText(written);
    indicator_ = Indicator::Red;
    outcome_ = FormatOutcome::Failed;
    problem_ = error;
}

CardTask FormatWorkflow::WriteReplacement(std::int64_t serial, card::CardMemory formatted) {
    const Replacement replacement = *replacement_;
    JournalledOperation record(options_.journal, journal::kReplacement, formatted);
    record.entry().serialOld = replacement.oldSerial;
    record.entry().serialNew = serial;
    record.entry().supplier = formatted[kSupplierByte];
    record.entry().kind = replacement.kind;
    record.entry().credits = replacement.credits;
    std::string error;
    bool begun = false;
    co_await steps_.Beside([&] { begun = record.Begin(error); });
    if (!begun) {
        info_ = "carte formatée " + std::to_string(serial) + ", remplacement refusé : " + error;
        indicator_ = Indicator::Red;
        problem_ = error;
        outcome_ = FormatOutcome::Failed;
        co_return;
    }
    // The session is still open, the card's code accepted by its format.
    state_.WriteImage[kDisposableKind] = static_cast<std::uint8_t>(replacement.kind);
    state_.WriteImage[kDisposableValue] = static_cast<std::uint8_t>(replacement.credits);
    const std::int32_t written = WriteRanges(state_, {kDisposableRange});
    if (written != 0) {
        co_await FailWrite(record, written);
        co_return;
    }
    const card::CardMemory after = AfterWrite(formatted, state_.WriteImage, {kDisposableRange});
    std::string opposed;
    co_await steps_.Beside([&] {
        record.Finish(journal::kVerified, std::nullopt, after, error);
        // The lost card is refused from now on, wherever it is put in.
        journal::Entry row;
        row.station = options_.journal.station;
        row.program = options_.journal.program;
        row.reader = options_.journal.reader;
        row.operation = journal::kOpposition;
        row.serialOld = replacement.oldSerial;
        row.outcome = journal::kRecorded;
        row.reason = ReplacedReason(serial);
        std::int64_t id = 0;
        if (options_.journal.journal && !options_.journal.journal->Record(row, id, opposed))
            opposed = "opposition de la carte " + std::to_string(replacement.oldSerial) +
                      " non enregistrée, à faire : " + opposed;
    });
    if (!record.kept().empty())
        notice_ = ResultPendingText(record.kept());
    problem_ = !error.empty() ? error : opposed;
    replacedBy_ = serial;
    outcome_ = FormatOutcome::Replaced;
    info_ = ReplacementDoneText(replacement, serial);
    if (!opposed.empty())
        info_ += " — " + opposed;
}

CardTask FormatWorkflow::RewriteFormattedCard() {
    const std::int64_t old = card::ReadCardLong(state_.CardImage, kSerialOffset);
    TailRewrite rewrite;
    co_await RewriteOwnTail(state_, options_.spendLastAttempt, options_.journal, steps_, rewrite);
    problem_ = rewrite.journalError;
    if (!rewrite.pending.empty())
        notice_ = ResultPendingText(rewrite.pending);
    if (rewrite.result == TailRewrite::Result::NotJournalled) {
        Refuse(rewrite.failureText, rewrite.journalError);
        co_return;
    }
    if (rewrite.result != TailRewrite::Result::Done) {
        indicator_ = Indicator::Red;
        info_ = rewrite.failureText;
        outcome_ = rewrite.result == TailRewrite::Result::CodeRefused ? FormatOutcome::CodeRefused
                                                                      : FormatOutcome::Failed;
        co_return;
    }
    indicator_ = Indicator::Green;
    info_ = texts::kFormatDone;
    oldSerial_ = old;
    oldText_ = std::to_string(old);
    outcome_ = FormatOutcome::AlreadyFormatted;
}

void FormatWorkflow::RefuseCode(const Presentation& presented) {
    ShowCodeRefusal(state_, presented, info_, indicator_);
    outcome_ = FormatOutcome::CodeRefused;
}

} // namespace ostrel::workflows
