#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::des {

// Each byte as two upper-case hexadecimal digits.
std::string BytesToHex(std::string_view bytes);

// The bytes of pairs of hexadecimal digits (either case); nothing for an odd length or a
// character that is not a digit.
std::optional<std::string> HexToBytes(std::string_view hex);

} // namespace ostrel::des
