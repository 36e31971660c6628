#include "chip_commands.h"

#include "card/card_memory.h"

#include <algorithm>
#include <string_view>

namespace ostrel::reader {

namespace {

bool RangeFits(int address, std::int32_t length) {
    return length >= 0 && length <= 256 && address + length <= static_cast<int>(card::kCardSize);
}

// The chip's command and answer, for an observer.
void Tell(WireObserver* observer, std::string_view operation, std::span<const std::uint8_t> sent,
          std::span<const std::uint8_t> answer, int codeAt = -1) {
    if (observer)
        observer->crossed({WireObserver::Wire::Chip, operation, sent, answer, 0, codeAt});
}

} // namespace

ChipReply ExecuteOnChip(Sle4442Chip& chip, CommandRecord& command, WireObserver* observer) {
    if (command.cla != 0) {
        return {kErrBadCommand, false};
    }
    const int address = command.p2;
    switch (command.ins) {
    case kInsReadMemory:
        if (!RangeFits(address, command.le))
            return {kErrBadCommand, false};
        std::copy_n(chip.memory().begin() + address, command.le, command.dataOut);
        Tell(observer, "lire", {&command.p2, 1},
             {command.dataOut, static_cast<std::size_t>(command.le)});
        return {0, false};
    case kInsWriteMemory: {
        if (!RangeFits(address, command.lc))
            return {kErrBadCommand, false};
        if (observer) {
            std::uint8_t sent[1 + 256];
            sent[0] = command.p2;
            std::copy_n(command.dataIn, command.lc, sent + 1);
            Tell(observer, "écrire", {sent, static_cast<std::size_t>(command.lc) + 1}, {});
        }
        return {0, chip.write(address, {command.dataIn, static_cast<std::size_t>(command.lc)})};
    }
    case kInsPresentCode: {
        if (command.lc != 3 || command.le < 1 || command.le > 4)
            return {kErrBadCommand, false};
        const std::uint8_t before = chip.errorCounter();
        const std::uint8_t after =
            chip.presentCode({command.dataIn[0], command.dataIn[1], command.dataIn[2]});
        std::fill_n(command.dataOut, command.le, 0);
        command.dataOut[0] = after;
        Tell(observer, "comparer le code", {command.dataIn, 3}, {&after, 1}, 0);
        return {0, before != after}; // the counter is what the card keeps
    }
    case kInsReadErrorCounter:
        if (command.le < 1 || command.le > 4)
            return {kErrBadCommand, false};
        std::fill_n(command.dataOut, command.le, 0);
        command.dataOut[0] = chip.errorCounter();
        Tell(observer, "lire le compteur", {}, {command.dataOut, 1});
        return {0, false};
    case kInsReadProtectionBits: {
        if (command.le != 4)
            return {kErrBadCommand, false};
        const auto bits = chip.protectionBytes();
        std::copy(bits.begin(), bits.end(), command.dataOut);
        Tell(observer, "lire la protection", {}, bits);
        return {0, false};
    }
    default:
        return {kErrBadCommand, false};
    }
}

} // namespace ostrel::reader
