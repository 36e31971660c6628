#include "format_workflow.h"

#include "card/card_layout.h"
#include "card/codecs.h"
#include "card_writes.h"
#include "code_presentation.h"
#include "inserted_card.h"
#include "reader/card_session.h"
#include "reader/security_code.h"
#include "serial_numbers.h"
#include "serial_reservation.h"
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
    const ConfiguredRead read = ReadConfiguredSerial(store_);
    nextSerial_ = read.serial;
    blockedText_ = read.refusal;
    problem_ = read.problem;
    if (nextSerial_)
        nextText_ = std::to_string(*nextSerial_);
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
        return Refuse(texts::JournalRefusal(*options_.journal.journal), error);
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

void FormatWorkflow::FormatBlankCard() {
    const auto date = card::ToCardDate(options_.today());
    if (!date)
        return Refuse(texts::kBadDate, texts::kBadDate);
    std::string error;
    reader::StartCardSession(state_); // as identification found it; a failure shows below
    const Presentation presented = PresentCodeSparingLastAttempt(
        state_, reader::FactoryCode(state_.CardImage[kSupplierByte]), options_.spendLastAttempt);
    JournalledOperation record(options_.journal, journal::kFormat, state_.CardImage);
    if (!presented.result.accepted()) {
        RefuseCode(presented);
        // No serial was taken for it; the refusal is recorded all the same.
        if (record.Begin(error))
            record.FinishRefused(presented, error);
        problem_ = error;
        return;
    }
    // Reserved only now that the card will be written: a card refused for its code or its
    // supplier uses up no serial.
    const Reservation reservation = ReserveSerial(store_, options_.journal, record);
    if (!reservation.serial) {
        ReadNextSerial();
        return Refuse(reservation.refusal, reservation.problem);
    }
    const std::int64_t serial = *reservation.serial;
    nextSerial_ = reservation.next;
    nextText_ = std::to_string(*reservation.next);

    StageHeader(state_, *date);
    card::WriteCardLong(state_.WriteImage, kSerialOffset, serial);
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
    serialWritten_ = serial;
    outcome_ = FormatOutcome::Formatted;
    info_ = texts::kFormatDone;        // the indicator stays yellow until the card is removed
    oldText_ = std::to_string(serial); // the card just formatted is the last one encoded
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
