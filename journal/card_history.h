#pragma once

#include "journal.h"

#include <array>
#include <string>
#include <vector>

namespace ostrel::journal {

// Every operation on the card that received or held serial, oldest first.
bool ReadCardHistory(Journal& journal, std::int64_t serial, std::vector<Entry>& history,
                     std::string& error);

// The card's 256 bytes before and after an operation, row by row in the dump's layout, with the
// bytes that changed. A side that is not known (nothing was written, or the card was not read)
// has no lines, and then nothing is marked changed.
struct BytesRow {
    std::string before; // "RR: XXXXXXXX XXXXXXXX XXXXXXXX XXXXXXXX", empty when unknown
    std::string after;
    std::array<bool, 16> changed{};
};
struct BytesComparison {
    std::vector<BytesRow> rows; // 16
    int changedBytes = 0;
};
BytesComparison CompareBytes(const Entry& entry);

// The comparison as text: a heading line, the 16 rows side by side, each row with changes
// followed by a line with ^^ under the bytes that changed, then the count.
std::vector<std::string> BytesLines(const BytesComparison& comparison);

// Where byte column c (0..15) starts in a dump line.
int DumpColumnOffset(int column);

} // namespace ostrel::journal
