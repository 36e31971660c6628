#include "dump_lines.h"

#include "codecs.h"

namespace ostrel::card {

std::string DumpLine(const CardMemory& memory, int row) {
    std::string line = ByteToHex(static_cast<std::uint8_t>(row)) + ":";
    for (int column = 0; column < 16; ++column) {
        if (column % 4 == 0) {
            line += ' ';
        }
        line += ByteToHex(memory.at(static_cast<std::size_t>(row * 16 + column)));
    }
    return line;
}

std::array<std::string, kDumpRows> DumpLines(const CardMemory& memory) {
    std::array<std::string, kDumpRows> lines;
    for (int row = 0; row < kDumpRows; ++row) {
        lines[static_cast<std::size_t>(row)] = DumpLine(memory, row);
    }
    return lines;
}

std::optional<ParsedDumpLine> ParseDumpLine(const std::string& line) {
    if (line.size() != static_cast<std::size_t>(kDumpLineLength) || line[2] != ':') {
        return std::nullopt;
    }
    ParsedDumpLine parsed{};
    std::uint8_t row = 0;
    if (!HexPairToByte(line[0], line[1], row) || row >= kDumpRows) {
        return std::nullopt;
    }
    parsed.row = row;
    std::size_t pos = 3;
    for (int column = 0; column < 16; ++column) {
        if (column % 4 == 0) {
            if (line[pos] != ' ') {
                return std::nullopt;
            }
            ++pos;
        }
        if (!HexPairToByte(line[pos], line[pos + 1],
                           parsed.bytes[static_cast<std::size_t>(column)])) {
            return std::nullopt;
        }
        pos += 2;
    }
    return parsed;
}

} // namespace ostrel::card
