#include "card_writes.h"

#include "reader/card_session.h"

#include <algorithm>

namespace ostrel::workflows {

using namespace card::layout;

void StageHeader(reader::SharedState& state, const card::CardDate& date) {
    std::copy_n(state.CardImage.begin(), kStagedPrefixLength, state.WriteImage.begin());
    state.WriteImage[kHeaderByte] = kHeaderByteValue;
    state.WriteImage[kApplicationCode] = kOwnApplication;
    card::StageDate(state.WriteImage, date);
}

void StageOwnTail(reader::SharedState& state) {
    std::copy_n(state.CardImage.begin() + kRewriteRange.start, kRewriteRange.length,
                state.WriteImage.begin() + kRewriteRange.start);
}

std::int32_t WriteRanges(reader::SharedState& state, std::initializer_list<Range> ranges) {
    for (const Range& range : ranges) {
        const std::int32_t r = reader::WriteCardMemory(state, range.start, range.length);
        if (r != 0)
            return r;
    }
    return 0;
}

} // namespace ostrel::workflows
