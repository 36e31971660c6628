#include "disposable_workflow.h"

#include "card/card_layout.h"
#include "card/codecs.h"
#include "card/token_programmes.h"
#include "card_check.h"
#include "card_writes.h"
#include "code_presentation.h"
#include "field_number.h"
#include "inserted_card.h"
#include "reader/card_session.h"
#include "reader/security_code.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

using namespace card::layout;

std::optional<std::string> ProgrammeCredits(int programme) {
    const std::optional<int> credits = card::ProgrammeCredits(programme);
    return credits ? std::optional<std::string>(std::to_string(*credits)) : std::nullopt;
}

DisposableWorkflow::DisposableWorkflow(reader::SharedState& state, WorkflowOptions options)
    : state_(state), options_(std::move(options)), steps_(options_.waitBeside, options_.waiting) {}

void DisposableWorkflow::Load() {
    state_.DisposableActive = true;
    info_ = texts::kDisposablePromptAtLoad;
    indicator_ = Indicator::Green;
    fields_ = {"", "", "", texts::kMaxValue};
    cardRead_ = false;
}

void DisposableWorkflow::Unload() {
    CallOff();
    state_.DisposableActive = false;
}

void DisposableWorkflow::CallOff() {
    if (!steps_.pending())
        return;
    steps_.Cancel();
    reader::EndCardSession(state_);
}

void DisposableWorkflow::CardRemoved() {
    // A card pulled while its operation waited: the operation stops there, the card untouched.
    CallOff();
    indicator_ = Indicator::Green;
    info_ = texts::kDisposablePrompt;
    cardRead_ = false;
    writtenThisInsertion_ = false;
}

bool DisposableWorkflow::cardReady() const {
    return cardRead_ && state_.ReaderState == reader::kReaderCardInside;
}

void DisposableWorkflow::CardInserted() {
    outcome_ = DisposableOutcome::Nothing;
    problem_.clear();
    notice_.clear();
    cardRead_ = false;
    writtenThisInsertion_ = false;
    indicator_ = Indicator::Yellow;
    if (onHandling)
        onHandling();
    steps_.Run(Insertion());
}

CardTask DisposableWorkflow::Insertion() {
    // The acquisitions write only the operation's own variables: the window reads the
    // workflow's while they run.
    bool opened = false;
    std::string error;
    std::string warning;
    co_await steps_.Beside([&] { opened = OpenJournal(options_.journal, error, warning); });
    if (!warning.empty())
        warning_ = warning;
    if (!opened && options_.journal.journal->busy()) {
        indicator_ = Indicator::Red;
        Refuse(texts::JournalRefusal(*options_.journal.journal), error);
        co_return;
    }
    // A journal out of reach (a server away) still lets a blank card be shown, which writes
    // nothing; every write asks the journal first and is refused before the card is touched.
    problem_ = error;
    std::string failure;
    const InsertedCard card = ReadInsertedCard(state_, failure);
    cardRead_ = card == InsertedCard::NotOurs || card == InsertedCard::Ours;
    if (card == InsertedCard::ReadFailed) {
        info_ = failure;
        indicator_ = Indicator::Red;
        outcome_ = DisposableOutcome::Failed;
    }
    if (card == InsertedCard::NotOurs)
        co_await ShowDisposableCard();
    cardOurs_ = card == InsertedCard::Ours;
    if (card == InsertedCard::Ours) {
        CardCheck check;
        if (opened)
            co_await steps_.Beside([&] { check = CheckCard(options_.journal, state_.CardImage); });
        if (check.opposed()) {
            // Refused before any write: the rewrite and the buttons alike.
            indicator_ = Indicator::Red;
            Refuse(check.Text());
        } else {
            co_await RewriteFormattedCard();
            // Said, recorded and counted; the card is handled all the same.
            if (!check.finding.text.empty())
                info_ += " — " + check.finding.text;
        }
    }
    reader::EndCardSession(state_);
}

CardTask DisposableWorkflow::RewriteFormattedCard() {
    TailRewrite rewrite;
    co_await RewriteOwnTail(state_, options_.spendLastAttempt, options_.journal, steps_, rewrite);
    problem_ = rewrite.journalError;
    if (!rewrite.pending.empty())
        notice_ = ResultPendingText(rewrite.pending);
    if (rewrite.result == TailRewrite::Result::NotJournalled) {
        indicator_ = Indicator::Red;
        Refuse(rewrite.failureText, rewrite.journalError);
        co_return;
    }
    if (rewrite.result != TailRewrite::Result::Done) {
        indicator_ = Indicator::Red;
        info_ = rewrite.failureText;
        outcome_ = rewrite.result == TailRewrite::Result::CodeRefused
                       ? DisposableOutcome::CodeRefused
                       : DisposableOutcome::Failed;
        co_return;
    }
    indicator_ = Indicator::Green;
    info_ = texts::kRewriteDone;
    outcome_ = DisposableOutcome::Rewritten;
}

CardTask DisposableWorkflow::ShowDisposableCard() {
    reader::StartCardSession(state_);
    const Presentation presented = PresentCodeSparingLastAttempt(
        state_, reader::FactoryCode(state_.CardImage[kSupplierByte]), options_.spendLastAttempt);
    if (!presented.result.accepted()) {
        RefuseCode(presented);
        // Nothing was to be written; the refusal is recorded all the same.
        JournalledOperation record(options_.journal, journal::kShow, state_.CardImage);
        std::string error;
        co_await steps_.Beside([&] {
            if (record.Begin(error))
                record.FinishRefused(presented, error);
        });
        problem_ = error;
        co_return;
    }
    const std::string credits = std::to_string(state_.CardImage[kDisposableValue]);
    switch (state_.CardImage[kDisposableKind]) {
    case kKindToken:
        info_ = texts::kTokenCard;
        fields_.credit = credits;
        outcome_ = DisposableOutcome::ShownToken;
        break;
    case kKindCredit:
        info_ = texts::kCreditCard;
        fields_.nbcredit = credits;
        outcome_ = DisposableOutcome::ShownCredit;
        break;
    default:
        info_ = texts::kUnknownKind;
        outcome_ = DisposableOutcome::ShownUnknown;
        break;
    }
}

void DisposableWorkflow::Refuse(const std::string& text, const std::string& problem) {
    info_ = text;
    problem_ = problem;
    outcome_ = DisposableOutcome::Refused;
}

std::optional<card::CardDate> DisposableWorkflow::ReadyToWrite() {
    outcome_ = DisposableOutcome::Nothing;
    problem_.clear();
    notice_.clear();
    if (!cardReady()) {
        Refuse(texts::kNoCardRead);
        return std::nullopt;
    }
    const auto date = card::ToCardDate(options_.today());
    if (!date)
        Refuse(texts::kBadDate);
    return date;
}

void DisposableWorkflow::WriteCreditCard() {
    // A second click, while the first writes or after it wrote, is not a second card.
    if (!mayWrite())
        return;
    const std::optional<card::CardDate> date = ReadyToWrite();
    if (!date)
        return;
    if (const auto credits = FieldNumber(fields_.nbcredit))
        return steps_.Run(WriteDisposable(*date, kKindCredit, *credits, std::nullopt));
    Refuse(texts::kBadCredits);
}

void DisposableWorkflow::WriteTokenCard() {
    if (!mayWrite())
        return;
    const std::optional<card::CardDate> date = ReadyToWrite();
    if (!date)
        return;
    const auto programme = FieldNumber(fields_.programme);
    if (!programme)
        return Refuse(texts::kBadProgramme);
    const std::optional<std::string> shown = ProgrammeCredits(*programme);
    const auto credits = FieldNumber(shown ? *shown : fields_.credit);
    if (!credits)
        return Refuse(texts::kBadCredits);
    steps_.Run(WriteDisposable(*date, kKindToken, *credits, shown));
}

// The arguments are copied into the operation: it may outlive the call that started it.
CardTask DisposableWorkflow::WriteDisposable(card::CardDate date, std::uint8_t kind, int credits,
                                             std::optional<std::string> creditShown) {
    JournalledOperation record(options_.journal,
                               kind == kKindCredit ? journal::kCredit : journal::kToken,
                               state_.CardImage);
    record.entry().serialOld = card::ReadCardLong(state_.CardImage, kSerialOffset);
    record.entry().kind = kind;
    record.entry().credits = credits;
    bool begun = false;
    std::string error;
    // A card put in opposition since its insertion, on any station, is refused as well.
    journal::CardStanding standing;
    bool looked = true;
    if (cardOurs_ && options_.journal.journal)
        co_await steps_.Beside([&] {
            looked = ReadStanding(*options_.journal.journal, CardSerial(state_.CardImage), standing,
                                  error);
        });
    if (!looked || standing.opposition) {
        indicator_ = Indicator::Red;
        Refuse(standing.opposition ? journal::OppositionText(*standing.opposition)
                                   : texts::JournalRefusal(*options_.journal.journal),
               error);
        co_return;
    }
    co_await steps_.Beside([&] { begun = record.Begin(error); });
    if (!begun) {
        indicator_ = Indicator::Red;
        Refuse(texts::JournalRefusal(*options_.journal.journal), error);
        co_return;
    }
    reader::StartCardSession(state_);
    // The code of the card's supplier, as at its insertion: any other costs it an attempt.
    const Presentation presented = PresentCodeSparingLastAttempt(
        state_, reader::FactoryCode(state_.CardImage[kSupplierByte]), options_.spendLastAttempt);
    if (!presented.result.accepted()) {
        RefuseCode(presented);
        co_await steps_.Beside([&] { record.FinishRefused(presented, error); });
        problem_ = error;
        co_return;
    }
    if (creditShown)
        fields_.credit = *creditShown;
    StageHeader(state_, date);
    state_.WriteImage[kDisposableKind] = kind;
    state_.WriteImage[kDisposableValue] = static_cast<std::uint8_t>(credits);
    writtenThisInsertion_ = true;
    const std::int32_t written =
        WriteRanges(state_, {kHeaderByteRange, kIdentityRange, kDisposableRange});
    reader::EndCardSession(state_);
    if (written != 0) {
        co_await steps_.Beside(
            [&] { record.Finish(journal::kWriteFailed, std::nullopt, std::nullopt, error); });
        problem_ = error;
        if (!record.kept().empty())
            notice_ = ResultPendingText(record.kept());
        info_ = texts::WriteFailureText(written);
        indicator_ = Indicator::Red;
        outcome_ = DisposableOutcome::Failed;
        co_return;
    }
    const card::CardMemory after = AfterWrite(state_.CardImage, state_.WriteImage,
                                              {kHeaderByteRange, kIdentityRange, kDisposableRange});
    co_await steps_.Beside([&] { record.Finish(journal::kVerified, std::nullopt, after, error); });
    problem_ = error;
    if (!record.kept().empty())
        notice_ = ResultPendingText(record.kept());
    indicator_ = Indicator::Green;
    info_ = texts::kDisposableDone;
    outcome_ = DisposableOutcome::Written;
}

void DisposableWorkflow::RefuseCode(const Presentation& presented) {
    ShowCodeRefusal(state_, presented, info_, indicator_);
    outcome_ = DisposableOutcome::CodeRefused;
}

} // namespace ostrel::workflows
