#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::base {

// The hexadecimal text of bytes and numbers, for card files, dumps, DES texts and options:
// written in upper case, read in either case.

// The two digits of a byte, the high one first.
std::array<char, 2> HexDigits(std::uint8_t byte);

// Each byte as its two digits: "\x5E\x2B" gives "5E2B".
std::string BytesToHex(std::string_view bytes);

// Reads two hexadecimal digits; false on any other character.
bool HexPairToByte(char high, char low, std::uint8_t& byte);

// Reads text of exactly digits hexadecimal digits (an even number, at most 8) as a big-endian
// number: "5E2B71" with 6 digits is 0x5E2B71. False for another length or any other character.
bool ParseHexNumber(std::string_view text, std::size_t digits, std::uint32_t& value);

// value as digits hexadecimal digits (an even number, at most 8), leading zeros kept.
std::string HexNumber(std::uint32_t value, std::size_t digits);

} // namespace ostrel::base
