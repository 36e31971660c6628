#include "card_writes.h"

#include "card/codecs.h"
#include "code_presentation.h"
#include "journal_entries.h"
#include "reader/card_session.h"
#include "workflow_texts.h"

#include <algorithm>

namespace ostrel::workflows {

using namespace card::layout;

void StageHeader(reader::SharedState& state, const card::CardDate& date) {
    std::copy_n(state.CardImage.begin(), kStagedPrefixLength, state.WriteImage.begin());
    state.WriteImage[kHeaderByte] = kHeaderByteValue;
    state.WriteImage[kApplicationCode] = kOwnApplication;
    card::StageDate(state.WriteImage, date);
}

std::int32_t WriteRanges(reader::SharedState& state, std::initializer_list<Range> ranges) {
    for (const Range& range : ranges) {
        const std::int32_t r = reader::WriteCardMemory(state, range.start, range.length);
        if (r != 0)
            return r;
    }
    return 0;
}

CardTask RewriteOwnTail(reader::SharedState& state, bool spendLastAttempt,
                        const journal::Writer& journal, BesideSteps& steps, TailRewrite& rewrite) {
    JournalledOperation record(journal, journal::kRewrite, state.CardImage);
    record.entry().serialOld = card::ReadCardLong(state.CardImage, kSerialOffset);
    rewrite = {};
    bool begun = false;
    co_await steps.Beside([&] { begun = record.Begin(rewrite.journalError); });
    if (!begun) {
        rewrite.result = TailRewrite::Result::NotJournalled;
        rewrite.failureText = texts::JournalRefusal(*journal.journal);
        co_return;
    }
    const char* outcome = journal::kVerified;
    std::optional<card::CardMemory> after;
    const Presentation presented = UnlockCardSparingLastAttempt(state, spendLastAttempt);
    if (!presented.result.accepted()) {
        rewrite.result = TailRewrite::Result::CodeRefused;
        rewrite.failureText = state.InfoMessage;
        co_await steps.Beside([&] { record.FinishRefused(presented, rewrite.journalError); });
        rewrite.pending = record.kept();
        co_return;
    }
    const auto own = state.CardImage.begin() + kRewriteRange.start;
    const auto staged = state.WriteImage.begin() + kRewriteRange.start;
    std::copy_n(own, kRewriteRange.length, staged);
    // Nothing is sent while the staged bytes are the card's own, as read: each byte a chip
    // writes costs about 5 ms and one of its erase cycles, and would change nothing.
    const std::int32_t written = std::equal(staged, staged + kRewriteRange.length, own)
                                     ? 0
                                     : WriteRanges(state, {kRewriteRange});
    if (written != 0) {
        outcome = journal::kWriteFailed;
        rewrite.result = TailRewrite::Result::WriteFailed;
        rewrite.failureText = texts::WriteFailureText(written);
    } else {
        after = state.CardImage;
    }
    co_await steps.Beside(
        [&] { record.Finish(outcome, std::nullopt, after, rewrite.journalError); });
    rewrite.pending = record.kept();
}

} // namespace ostrel::workflows
