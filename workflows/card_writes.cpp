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

TailRewrite RewriteOwnTail(reader::SharedState& state, bool spendLastAttempt,
                           const journal::Writer& journal) {
    JournalledOperation record(journal, journal::kRewrite, state.CardImage);
    record.entry().serialOld = card::ReadCardLong(state.CardImage, kSerialOffset);
    TailRewrite rewrite{TailRewrite::Result::Done, {}, {}};
    if (!record.Begin(rewrite.journalError))
        return {TailRewrite::Result::NotJournalled, texts::JournalRefusal(*journal.journal),
                rewrite.journalError};
    if (!UnlockCardSparingLastAttempt(state, spendLastAttempt)) {
        record.Finish(journal::kRefused, std::nullopt, std::nullopt, rewrite.journalError);
        return {TailRewrite::Result::CodeRefused, state.InfoMessage, rewrite.journalError};
    }
    const auto own = state.CardImage.begin() + kRewriteRange.start;
    const auto staged = state.WriteImage.begin() + kRewriteRange.start;
    std::copy_n(own, kRewriteRange.length, staged);
    // Nothing is sent while the staged bytes are the card's own, as read: each byte a chip
    // writes costs about 5 ms and one of its erase cycles, and would change nothing.
    if (std::equal(staged, staged + kRewriteRange.length, own)) {
        record.Finish(journal::kVerified, std::nullopt, state.CardImage, rewrite.journalError);
        return rewrite;
    }
    const std::int32_t written = WriteRanges(state, {kRewriteRange});
    if (written != 0) {
        record.Finish(journal::kWriteFailed, std::nullopt, std::nullopt, rewrite.journalError);
        return {TailRewrite::Result::WriteFailed, texts::WriteFailureText(written),
                rewrite.journalError};
    }
    record.Finish(journal::kVerified, std::nullopt, state.CardImage, rewrite.journalError);
    return rewrite;
}

} // namespace ostrel::workflows
