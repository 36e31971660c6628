#include "card_session.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace ostrel::reader {

namespace {

// Each byte's hexadecimal value without zero padding, joined by "-".
std::string AtrText(const SessionRecord& session) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char part[4];
        std::snprintf(part, sizeof part, "%X", static_cast<unsigned char>(session.atr[i]));
        if (i > 0)
            text += '-';
        text += part;
    }
    return text;
}

std::int32_t ReadRange(SharedState& state, int start, int length, std::uint8_t* out) {
    CommandRecord command;
    command.ins = kInsReadMemory;
    command.p2 = static_cast<std::uint8_t>(start);
    command.lc = 0;
    command.le = length;
    const std::int32_t r = state.Reader.ExchangeAPDU(state.ReaderHandle, command);
    if (r >= 0)
        std::copy_n(command.dataOut, length, out);
    return r;
}

} // namespace

bool StartCardSession(SharedState& state) {
    SessionRecord session;
    session.cardType = kCardTypeSle4442;
    if (state.Reader.StartSession(state.ReaderHandle, session) < 0)
        return false;
    return AtrText(session) == "A2-13-10-91";
}

std::int32_t ReadCardMemory(SharedState& state) {
    for (int k = 0; k < 16; ++k) {
        const std::int32_t r =
            ReadRange(state, kReadBlock * k, kReadBlock, state.CardImage.data() + kReadBlock * k);
        if (r < 0)
            return r;
    }
    return 0;
}

std::int32_t WriteCardMemory(SharedState& state, int start, int length) {
    if (start < 0 || length < 0 || start + length > static_cast<int>(card::kCardSize))
        return kErrBadCommand;
    for (int at = start, left = length; left > 0;) {
        const int chunk = std::min(left, kWriteChunk);
        CommandRecord command;
        command.ins = kInsWriteMemory;
        command.p2 = static_cast<std::uint8_t>(at);
        command.lc = chunk;
        command.le = 0;
        std::copy_n(state.WriteImage.begin() + at, chunk, command.dataIn);
        const std::int32_t r = state.Reader.ExchangeAPDU(state.ReaderHandle, command);
        if (r < 0)
            return r;
        at += chunk;
        left -= chunk;
    }
    // A chip ignores writes it refuses without an error: only the read-back tells.
    for (int at = start, left = length; left > 0;) {
        const int chunk = std::min(left, kWriteChunk);
        std::uint8_t back[kWriteChunk];
        const std::int32_t r = ReadRange(state, at, chunk, back);
        if (r < 0)
            return r;
        if (!std::equal(back, back + chunk, state.WriteImage.begin() + at))
            return kErrVerifyMismatch;
        at += chunk;
        left -= chunk;
    }
    return 0;
}

void EndCardSession(SharedState& state) {
    state.Reader.EndSession(state.ReaderHandle);
}

} // namespace ostrel::reader
