#include "identification.h"

#include "card/card_layout.h"
#include "card/classification.h"
#include "card/codecs.h"
#include "card_session.h"

namespace ostrel::reader {

bool CheckCardFormat(SharedState& state) {
    const card::CardClass verdict = card::ClassifyCard(state.CardImage);
    state.InfoMessage = card::ClassificationText(verdict);
    return verdict == card::CardClass::Valid;
}

int IdentifyCard(SharedState& state, std::int32_t* readResult) {
    state.CardImage.fill(0xFF);
    if (!StartCardSession(state)) {
        EndCardSession(state);
        state.InfoMessage = kTextUnknownCard;
        return kIdentifyNoAnswer;
    }
    const std::int32_t read = ReadCardMemory(state);
    if (readResult)
        *readResult = read;
    if (!CheckCardFormat(state)) {
        EndCardSession(state);
        return kIdentifyNotOurs;
    }
    // The cards carry no checksum, so the first block's range is empty and the check passes;
    // it stays so that a block layout with checksums has its place.
    if (card::Crc16Range(state.CardImage, 0, 0) != 0) {
        state.InfoMessage = kTextBadFirstBlock;
        EndCardSession(state);
        return kIdentifyBadChecksum;
    }
    return state.CardImage[card::layout::kCardType];
}

} // namespace ostrel::reader
