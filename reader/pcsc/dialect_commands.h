#pragma once

#include "reader/reader_dialects.h"
#include "reader/reader_library.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ostrel::reader::pcsc {

// One APDU as it goes to the reader. Fixed size, so that building one allocates nothing.
struct Apdu {
    std::array<std::uint8_t, dialect::kHeaderLength + 255> bytes{};
    std::size_t length = 0; // 0: nothing needs to be sent

    std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
};

Apdu FixedCommand(const dialect::FixedApdu& fixed);

// The dialect's APDU for a command record of the reader library other than a read. 0, or
// kErrBadCommand for a record that is none of the commands or whose lengths do not fit. A write
// of no bytes, and the error counter or protection bits of a dialect without that command,
// build an empty APDU.
std::int32_t BuildApdu(const dialect::Table& table, const CommandRecord& command, Apdu& apdu);

// A read of length bytes (1..256) from address; kErrBadCommand past the end of memory.
std::int32_t BuildRead(const dialect::Table& table, int address, int length, Apdu& apdu);

// Checks the reply to a read of wanted bytes and copies its data to out. got: how many bytes it
// carried, which may be fewer than wanted (the caller reads on from there). 0, or
// kErrBadCommand when the reader refused, kErrTransmission for a malformed reply.
std::int32_t ReadDataReply(const dialect::Table& table, std::span<const std::uint8_t> reply,
                           std::size_t wanted, std::uint8_t* out, std::size_t& got);

// Checks the reply to the APDU built for command and fills its data out: a presented code
// reads as the chip's error counter in every dialect. 0, or as ReadDataReply.
std::int32_t ReadReply(const dialect::Table& table, CommandRecord& command,
                       std::span<const std::uint8_t> reply);

bool IsOk(std::span<const std::uint8_t> reply);

// Whether reply to the dialect's session start says it was done: 90 00, or on older memcard
// firmware the card's four ATR bytes (cardAtr) before 90 00.
bool SessionStarted(const dialect::Table& table, std::span<const std::uint8_t> reply,
                    std::span<const std::uint8_t> cardAtr);

// A command without data that the reader refused for its length asks to be sent again: 6C xx
// gives the length to ask, 67 00 (older firmware) wants Le 00. True when apdu now carries the
// length the reader asks for; false when the reply is no such request, or asks what was sent.
bool AskedAgain(std::span<const std::uint8_t> reply, Apdu& apdu);

// A read of wanted bytes that the reader refused, or answered 90 00 without data: the length to
// read instead (6C xx: xx; otherwise half, down to 16 bytes), or 0 when there is none to try.
int ShorterRead(std::span<const std::uint8_t> reply, int wanted);

// The card's own answer to reset inside the reader's ATR: what follows the 3B 04 prefix the
// reader puts before it, or the whole ATR when it lacks that prefix.
std::span<const std::uint8_t> CardAnswerToReset(std::span<const std::uint8_t> atr);

} // namespace ostrel::reader::pcsc
