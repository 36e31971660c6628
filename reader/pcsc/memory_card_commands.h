#pragma once

#include "memory_card_apdu.h"
#include "reader/reader_library.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ostrel::reader::pcsc {

// One APDU as it goes to the reader. Fixed size, so that building one allocates nothing.
struct Apdu {
    std::array<std::uint8_t, apdu::kHeaderLength + 255> bytes{};
    std::size_t length = 0; // 0: nothing needs to be sent

    std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
};

// The reader's memory-card APDU for a command record of the reader library. 0, or
// kErrBadCommand for a record that is none of the four commands or whose lengths do not fit.
// A read or write of no bytes builds an empty APDU: there is nothing to send.
std::int32_t BuildApdu(const CommandRecord& command, Apdu& apdu);

// Checks the reader's reply to the APDU built for command and fills its data out. 0, or
// kErrBadCommand when the reader refused the command, kErrTransmission for a malformed reply.
// Both reply shapes of older drivers are accepted (see the .cpp).
std::int32_t ReadReply(CommandRecord& command, std::span<const std::uint8_t> reply);

// Selects the SLE4432/4442/5542 family; the reader power-cycles the card.
Apdu SelectCardTypeApdu();
bool IsOk(std::span<const std::uint8_t> reply);

// The card's own answer to reset inside the reader's ATR: what follows the 3B 04 prefix the
// reader puts before it, or the whole ATR when it lacks that prefix.
std::span<const std::uint8_t> CardAnswerToReset(std::span<const std::uint8_t> atr);

} // namespace ostrel::reader::pcsc
