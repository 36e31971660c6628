#include "format_workflow.h"

#include "card/card_layout.h"
#include "card/codecs.h"
#include "card_writes.h"
#include "code_presentation.h"
#include "inserted_card.h"
#include "reader/card_session.h"
#include "reader/security_code.h"
#include "serial_numbers.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

using namespace card::layout;

FormatWorkflow::FormatWorkflow(reader::SharedState& state, SerialStore& store,
                               WorkflowOptions options)
    : state_(state), store_(store), options_(std::move(options)) {}

void FormatWorkflow::Load() {
    state_.FormatActive = true;
    oldText_.clear();
    ReadNextSerial();
    ShowIdle();
}

void FormatWorkflow::Unload() {
    state_.FormatActive = false;
}

void FormatWorkflow::CardRemoved() {
    // Another program may have formatted cards meanwhile: the window shows the value as it is.
    ReadNextSerial();
    ShowIdle();
}

void FormatWorkflow::ReadNextSerial() {
    nextSerial_.reset();
    blockedText_.clear();
    problem_.clear();
    std::string text;
    std::string error;
    if (!store_.Read(text, error)) {
        blockedText_ = store_.KeepsSeriesWithJournal()
                           ? texts::kServerUnusable
                           : texts::SerialRefusedText("configuration illisible");
        problem_ = error;
    } else if (const ConfiguredSerial configured = ParseConfiguredSerial(text);
               !configured.serial) {
        blockedText_ = texts::SerialRefusedText(configured.problem);
        problem_ = "NextSerial (section Format) de " + store_.Location() + " : " +
                   configured.problem + " ; corrigez-le";
    } else {
        nextSerial_ = configured.serial;
        nextText_ = std::to_string(*nextSerial_);
    }
}

void FormatWorkflow::ShowIdle() {
    info_ = blockedText_.empty() ? texts::kFormatPrompt : blockedText_;
    indicator_ = formattingBlocked() ? Indicator::Red : Indicator::Green;
}

void FormatWorkflow::Refuse(const std::string& text, const std::string& problem) {
    info_ = text;
    problem_ = problem;
    indicator_ = Indicator::Red;
    outcome_ = FormatOutcome::Blocked;
}

void FormatWorkflow::CardInserted() {
    outcome_ = FormatOutcome::Nothing;
    problem_.clear();
    indicator_ = Indicator::Yellow;
    if (onHandling)
        onHandling();
    std::string error;
    if (!OpenJournal(options_.journal, error))
        return Refuse(texts::kJournalUnusable, error);
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
        FormatBlankCard();
        break;
    case InsertedCard::Ours:
        RewriteFormattedCard();
        break;
    }
    reader::EndCardSession(state_);
}

std::optional<std::int64_t> FormatWorkflow::ReserveOnServer(JournalledOperation& record) {
    std::int64_t serial = 0;
    std::int64_t id = 0;
    std::optional<std::string> issued;
    std::string error;
    if (!store_.Reserve(record.entry(), serial, id, issued, error)) {
        ReadNextSerial();
        if (issued && nextSerial_)
            Refuse(texts::SerialAlreadyIssuedText(*nextSerial_, *issued), error);
        else
            Refuse(texts::kServerUnusable, error);
        return std::nullopt;
    }
    record.Adopt(id);
    if (const auto next = NextMarkedSerial(serial)) {
        nextSerial_ = *next;
        nextText_ = std::to_string(*next);
    }
    return serial;
}

std::optional<std::int64_t> FormatWorkflow::ReserveSerial(JournalledOperation& record) {
    if (store_.KeepsSeriesWithJournal())
        return ReserveOnServer(record);
    // Held until the reservation is on disk and in the journal: every program using this
    // configuration takes its serial one after the other.
    SerialStoreLock lock(store_);
    std::string error;
    if (!lock.Take(error)) {
        Refuse(texts::SerialRefusedText("verrou de la configuration impossible"), error);
        return std::nullopt;
    }
    ReadNextSerial();
    if (!blockedText_.empty()) {
        Refuse(blockedText_, problem_);
        return std::nullopt;
    }
    const std::int64_t serial = *nextSerial_;
    const auto next = NextMarkedSerial(serial);
    if (!next) {
        Refuse(texts::kSerialsExhausted, texts::kSerialsExhausted);
        return std::nullopt;
    }
    std::optional<std::string> issued;
    if (options_.journal.journal && !options_.journal.journal->IssuedAt(serial, issued, error)) {
        Refuse(texts::kJournalUnusable, error);
        return std::nullopt;
    }
    if (issued) {
        // Set back onto a serial already given: formatting waits until the value is mended.
        Refuse(texts::SerialAlreadyIssuedText(serial, *issued),
               "NextSerial (section Format) de " + store_.Location() +
                   " ramené sur un numéro déjà attribué selon le journal " +
                   options_.journal.journal->Location());
        return std::nullopt;
    }
    if (!store_.Save(*next, error)) {
        Refuse(texts::SerialNotSavedText(), error);
        return std::nullopt;
    }
    nextSerial_ = *next;
    nextText_ = std::to_string(*next);
    record.entry().serialNew = serial;
    if (!record.Begin(error)) {
        Refuse(texts::kJournalUnusable,
               error + " ; le numéro " + std::to_string(serial) + " reste inutilisé");
        return std::nullopt;
    }
    return serial;
}

void FormatWorkflow::FormatBlankCard() {
    const auto date = card::ToCardDate(options_.today());
    if (!date)
        return Refuse(texts::kBadDate, texts::kBadDate);
    JournalledOperation record(options_.journal, journal::kFormat, state_.CardImage);
    std::string error;
    reader::StartCardSession(state_); // as identification found it; a failure shows below
    const Presentation presented = PresentCodeSparingLastAttempt(
        state_, reader::FactoryCode(state_.CardImage[kSupplierByte]), options_.spendLastAttempt);
    if (!presented.result.accepted()) {
        // A card refused for its code takes no serial; the refusal is recorded all the same.
        RefuseCode(presented);
        if (record.Begin(error))
            record.FinishRefused(presented, error);
        problem_ = error;
        return;
    }
    // Reserved once the card took its code, before its first byte is written.
    const std::optional<std::int64_t> serial = ReserveSerial(record);
    if (!serial)
        return;

    StageHeader(state_, *date);
    card::WriteCardLong(state_.WriteImage, kSerialOffset, *serial);
    state_.WriteImage[kLastByte] = kLastByteFormatted;
    const std::int32_t written =
        WriteRanges(state_, {kHeaderByteRange, kIdentityRange, kLastByteRange});
    if (written != 0) {
        record.Finish(journal::kWriteFailed, std::nullopt, std::nullopt, error);
        info_ = texts::WriteFailureText(written);
        indicator_ = Indicator::Red;
        outcome_ = FormatOutcome::Failed;
        problem_ = error;
        return;
    }
    record.Finish(journal::kVerified, std::nullopt,
                  AfterWrite(state_.CardImage, state_.WriteImage,
                             {kHeaderByteRange, kIdentityRange, kLastByteRange}),
                  error);
    serialWritten_ = *serial;
    outcome_ = FormatOutcome::Formatted;
    info_ = texts::kFormatDone;         // the indicator stays yellow until the card is removed
    oldText_ = std::to_string(*serial); // the card just formatted is the last one encoded
    problem_ = error;
}

void FormatWorkflow::RewriteFormattedCard() {
    const std::int64_t old = card::ReadCardLong(state_.CardImage, kSerialOffset);
    const TailRewrite rewrite = RewriteOwnTail(state_, options_.spendLastAttempt, options_.journal);
    problem_ = rewrite.journalError;
    if (rewrite.result == TailRewrite::Result::NotJournalled)
        return Refuse(rewrite.failureText, rewrite.journalError);
    if (rewrite.result != TailRewrite::Result::Done) {
        indicator_ = Indicator::Red;
        info_ = rewrite.failureText;
        outcome_ = rewrite.result == TailRewrite::Result::CodeRefused ? FormatOutcome::CodeRefused
                                                                      : FormatOutcome::Failed;
        return;
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
