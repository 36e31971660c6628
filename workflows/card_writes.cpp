#include "card_writes.h"

#include "code_presentation.h"
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

TailRewrite RewriteOwnTail(reader::SharedState& state, bool spendLastAttempt) {
    if (!UnlockCardSparingLastAttempt(state, spendLastAttempt))
        return {TailRewrite::Result::CodeRefused, state.InfoMessage};
    std::copy_n(state.CardImage.begin() + kRewriteRange.start, kRewriteRange.length,
                state.WriteImage.begin() + kRewriteRange.start);
    const std::int32_t written = WriteRanges(state, {kRewriteRange});
    if (written != 0)
        return {TailRewrite::Result::WriteFailed, texts::WriteFailureText(written)};
    return {TailRewrite::Result::Done, {}};
}

} // namespace ostrel::workflows
