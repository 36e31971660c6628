#pragma once

#include "card_memory.h"

#include <array>
#include <optional>
#include <string>

namespace ostrel::card {

inline constexpr int kDumpRows = 16;
inline constexpr int kDumpLineLength = 39;

// One row of the hex dump: "RR: XXXXXXXX XXXXXXXX XXXXXXXX XXXXXXXX", RR the row number 00..0F.
std::string DumpLine(const CardMemory& memory, int row);
std::array<std::string, kDumpRows> DumpLines(const CardMemory& memory);

// Reads one dump line back. Hex digits of either case; nothing for any other shape.
struct ParsedDumpLine {
    int row;
    std::array<std::uint8_t, 16> bytes;
};
std::optional<ParsedDumpLine> ParseDumpLine(const std::string& line);

} // namespace ostrel::card
