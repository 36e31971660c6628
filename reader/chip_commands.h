#pragma once

#include "reader_library.h"
#include "sle4442_chip.h"
#include "wire_observer.h"

namespace ostrel::reader {

struct ChipReply {
    std::int32_t result = 0; // 0 or a negative reader error
    bool changed = false;    // the card's memory or counter changed
};

// Carries out one command record of the reader library on a chip, telling observer, when given,
// the chip's command and its answer. Shared by every reader that models the card itself.
ChipReply ExecuteOnChip(Sle4442Chip& chip, CommandRecord& command,
                        WireObserver* observer = nullptr);

} // namespace ostrel::reader
