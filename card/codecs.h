#pragma once

#include "base/hex.h"
#include "card_memory.h"

#include <cstdint>
#include <string>

namespace ostrel::card {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, most significant bit first.
std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte);
std::uint16_t Crc16Range(const CardMemory& memory, int start, int count);

// Unsigned big-endian 32-bit number at offset..offset+3; never negative.
std::int64_t ReadCardLong(const CardMemory& memory, int offset);

// Writes value big-endian at offset..offset+3, taking the low byte four times and dividing by
// 256 rounding toward minus infinity (two's complement for negative values).
void WriteCardLong(CardMemory& memory, int offset, std::int64_t value);

// Two upper-case hexadecimal digits.
std::string ByteToHex(std::uint8_t byte);

// Reads two hexadecimal digits of either case; false on any other character.
using base::HexPairToByte;

} // namespace ostrel::card
