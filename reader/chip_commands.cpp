#include "chip_commands.h"

#include "card/card_memory.h"

#include <algorithm>

namespace ostrel::reader {

namespace {

bool RangeFits(int address, std::int32_t length) {
    return length >= 0 && length <= 256 && address + length <= static_cast<int>(card::kCardSize);
}

} // namespace

ChipReply ExecuteOnChip(Sle4442Chip& chip, CommandRecord& command) {
    if (command.cla != 0) {
        return {kErrBadCommand, false};
    }
    const int address = command.p2;
    switch (command.ins) {
    case kInsReadMemory:
        if (!RangeFits(address, command.le))
            return {kErrBadCommand, false};
        std::copy_n(chip.memory().begin() + address, command.le, command.dataOut);
        return {0, false};
    case kInsWriteMemory:
        if (!RangeFits(address, command.lc))
            return {kErrBadCommand, false};
        return {0, chip.write(address, {command.dataIn, static_cast<std::size_t>(command.lc)})};
    case kInsPresentCode: {
        if (command.lc != 3 || command.le < 1 || command.le > 4)
            return {kErrBadCommand, false};
        const std::uint8_t before = chip.errorCounter();
        const std::uint8_t after =
            chip.presentCode({command.dataIn[0], command.dataIn[1], command.dataIn[2]});
        std::fill_n(command.dataOut, command.le, 0);
        command.dataOut[0] = after;
        return {0, before != after}; // the counter is what the card keeps
    }
    case kInsReadErrorCounter:
        if (command.le < 1 || command.le > 4)
            return {kErrBadCommand, false};
        std::fill_n(command.dataOut, command.le, 0);
        command.dataOut[0] = chip.errorCounter();
        return {0, false};
    default:
        return {kErrBadCommand, false};
    }
}

} // namespace ostrel::reader
