#pragma once

#include "card/card_memory.h"
#include "reader_library.h"

#include <cstdint>
#include <string>

namespace ostrel::reader {

// The state every window and command shares: the card as last read, the bytes staged for
// writing, what the reader monitor knows of the reader, and the last status text. One object
// per program (or per test), handed to whoever needs it.
struct SharedState {
    explicit SharedState(ReaderLibrary& reader) : Reader(reader) {
        WriteImage.fill(0);
        CardImage.fill(0xFF);
    }

    ReaderLibrary& Reader;
    card::CardMemory CardImage{};
    card::CardMemory WriteImage{};
    std::int16_t ReaderState = 0; // 0 never opened, 1 no reader, 2 no card, 3 card inside
    std::int32_t ReaderHandle = -1;
    std::string InfoMessage;
    bool FormatActive = false;
    bool DisposableActive = false;
};

enum ReaderStates : std::int16_t {
    kReaderNeverOpened = 0,
    kReaderAbsent = 1,
    kReaderEmpty = 2,
    kReaderCardInside = 3,
};

} // namespace ostrel::reader
