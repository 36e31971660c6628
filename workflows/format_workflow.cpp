#include "format_workflow.h"

#include "card/card_layout.h"
#include "card/codecs.h"
#include "card_writes.h"
#include "code_presentation.h"
#include "reader/card_session.h"
#include "reader/identification.h"
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
    nextSerial_.reset();
    blockedText_.clear();
    problem_.clear();
    savePending_ = false;
    std::string text;
    std::string error;
    if (!store_.Read(text, error)) {
        blockedText_ = texts::SerialRefusedText("configuration illisible");
        problem_ = error;
    } else if (const ConfiguredSerial configured = ParseConfiguredSerial(text);
               !configured.serial) {
        blockedText_ = texts::SerialRefusedText(configured.problem);
        problem_ = "NextSerial (section Format) de " + store_.Location() + " : " +
                   configured.problem + " ; corrigez-le puis rouvrez la fenêtre";
    } else {
        nextSerial_ = configured.serial;
        nextText_ = std::to_string(*nextSerial_);
    }
    ShowIdle();
}

void FormatWorkflow::Unload() {
    state_.FormatActive = false;
}

void FormatWorkflow::CardRemoved() {
    ShowIdle();
}

void FormatWorkflow::ShowIdle() {
    if (!blockedText_.empty()) {
        info_ = blockedText_;
    } else if (savePending_) {
        info_ = texts::SerialNotSavedText();
    } else {
        info_ = texts::kFormatPrompt;
    }
    indicator_ = formattingBlocked() ? Indicator::Red : Indicator::Green;
}

void FormatWorkflow::Refuse(const std::string& text) {
    info_ = text;
    indicator_ = Indicator::Red;
    outcome_ = FormatOutcome::Blocked;
}

void FormatWorkflow::CardInserted() {
    outcome_ = FormatOutcome::Nothing;
    indicator_ = Indicator::Yellow;
    if (onHandling)
        onHandling();
    std::int32_t read = 0;
    const int r = reader::IdentifyCard(state_, &read);
    if (r == reader::kIdentifyNoAnswer) {
        // Not an SLE4442: the prompt stays, the indicator stays yellow until it is removed.
    } else if (read < 0) {
        // Half a card read is no ground for writing it.
        info_ = texts::ReadFailureText(read);
        indicator_ = Indicator::Red;
        outcome_ = FormatOutcome::Failed;
    } else if (r == reader::kIdentifyNotOurs) {
        FormatBlankCard();
    } else {
        RewriteFormattedCard();
    }
    reader::EndCardSession(state_);
}

void FormatWorkflow::FormatBlankCard() {
    if (!blockedText_.empty())
        return Refuse(blockedText_);
    if (savePending_ && !SavePendingSerial())
        return Refuse(texts::SerialNotSavedText());
    const auto date = card::ToCardDate(options_.today());
    if (!date)
        return Refuse(texts::kBadDate);
    if (!NextMarkedSerial(*nextSerial_))
        return Refuse(texts::kSerialsExhausted);

    reader::StartCardSession(state_); // as identification found it; a failure shows below
    const Presentation presented = PresentCodeSparingLastAttempt(
        state_, reader::FactoryCode(state_.CardImage[kSupplierByte]), options_.spendLastAttempt);
    if (presented.result <= 6) {
        reader::EndCardSession(state_);
        info_ = reader::UnlockFailureText(presented.result);
        if (presented.withheld)
            indicator_ = Indicator::Red;
        outcome_ = FormatOutcome::CodeRefused;
        return;
    }
    const std::int64_t serial = *nextSerial_;
    StageHeader(state_, *date);
    card::WriteCardLong(state_.WriteImage, kSerialOffset, serial);
    state_.WriteImage[kLastByte] = kLastByteFormatted;
    const std::int32_t written =
        WriteRanges(state_, {kHeaderByteRange, kIdentityRange, kLastByteRange});
    if (written != 0) {
        info_ = texts::WriteFailureText(written);
        indicator_ = Indicator::Red;
        outcome_ = FormatOutcome::Failed;
        return;
    }
    serialWritten_ = serial;
    outcome_ = FormatOutcome::Formatted;
    info_ = texts::kFormatDone; // the indicator stays yellow until the card is removed
    AdvancePast(serial);
    ReportPendingSave();
}

void FormatWorkflow::RewriteFormattedCard() {
    const std::int64_t old = card::ReadCardLong(state_.CardImage, kSerialOffset);
    // A card holding the next serial was formatted here although its last write went
    // unconfirmed: its serial is taken all the same.
    if (nextSerial_ && old == *nextSerial_)
        AdvancePast(old);
    const TailRewrite rewrite = RewriteOwnTail(state_, options_.spendLastAttempt);
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
    ReportPendingSave();
}

void FormatWorkflow::ReportPendingSave() {
    if (!savePending_)
        return;
    info_ = texts::kFormatDoneSerialNotSaved;
    indicator_ = Indicator::Red;
}

void FormatWorkflow::AdvancePast(std::int64_t serial) {
    const auto next = NextMarkedSerial(serial);
    if (!next) {
        // The last serial is never given (FormatBlankCard checks first), but a card may
        // carry it: nothing follows.
        blockedText_ = texts::kSerialsExhausted;
        problem_ = blockedText_;
        return;
    }
    nextSerial_ = *next;
    nextText_ = std::to_string(*next);
    savePending_ = true;
    SavePendingSerial();
}

bool FormatWorkflow::SavePendingSerial() {
    std::string error;
    if (!store_.Save(*nextSerial_, error)) {
        problem_ = error + " ; aucune carte ne sera formatée avant qu'il le soit";
        return false;
    }
    savePending_ = false;
    problem_.clear();
    return true;
}

} // namespace ostrel::workflows
