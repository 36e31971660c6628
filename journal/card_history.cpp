#include "card_history.h"

#include "card/dump_lines.h"

#include <algorithm>

namespace ostrel::journal {

namespace {

// The stored bytes as a card memory; nothing for a side not known.
std::optional<card::CardMemory> Memory(const std::string& bytes) {
    if (bytes.size() != card::kCardSize)
        return std::nullopt;
    card::CardMemory memory{};
    std::copy(bytes.begin(), bytes.end(), memory.begin());
    return memory;
}

constexpr const char* kGap = "   ";

} // namespace

bool ReadCardHistory(Journal& journal, std::int64_t serial, std::vector<Entry>& history,
                     std::string& error) {
    return journal.History(serial, history, error);
}

int DumpColumnOffset(int column) {
    // "RR:" then, before each group of four bytes, one blank.
    return 3 + (column / 4 + 1) + 2 * column;
}

BytesComparison CompareBytes(const Entry& entry) {
    const auto before = Memory(entry.before);
    const auto after = Memory(entry.after);
    BytesComparison comparison;
    comparison.rows.resize(card::kDumpRows);
    for (int r = 0; r < card::kDumpRows; ++r) {
        BytesRow& row = comparison.rows[static_cast<std::size_t>(r)];
        if (before)
            row.before = card::DumpLine(*before, r);
        if (after)
            row.after = card::DumpLine(*after, r);
        if (!before || !after)
            continue;
        for (int c = 0; c < 16; ++c) {
            const std::size_t address = static_cast<std::size_t>(r * 16 + c);
            row.changed[static_cast<std::size_t>(c)] = (*before)[address] != (*after)[address];
            comparison.changedBytes += row.changed[static_cast<std::size_t>(c)] ? 1 : 0;
        }
    }
    return comparison;
}

std::vector<std::string> BytesLines(const BytesComparison& comparison) {
    const std::string blank(card::kDumpLineLength, ' ');
    const bool beforeKnown = !comparison.rows.empty() && !comparison.rows[0].before.empty();
    const bool afterKnown = !comparison.rows.empty() && !comparison.rows[0].after.empty();
    std::string heading = beforeKnown ? "avant" : "avant : inconnu";
    heading.resize(blank.size(), ' ');
    std::vector<std::string> lines = {heading + kGap + (afterKnown ? "après" : "après : inconnu")};
    for (const BytesRow& row : comparison.rows) {
        const std::string before = row.before.empty() ? blank : row.before;
        lines.push_back(afterKnown ? before + kGap + row.after : row.before);
        if (std::none_of(row.changed.begin(), row.changed.end(), [](bool c) { return c; }))
            continue;
        std::string marks = blank;
        for (std::size_t c = 0; c < row.changed.size(); ++c) {
            if (row.changed[c])
                marks.replace(static_cast<std::size_t>(DumpColumnOffset(static_cast<int>(c))), 2,
                              "^^");
        }
        lines.push_back(marks + kGap + marks);
    }
    if (beforeKnown && afterKnown)
        lines.push_back(std::to_string(comparison.changedBytes) + " octet(s) changé(s)");
    for (std::string& line : lines)
        line.erase(line.find_last_not_of(' ') + 1);
    return lines;
}

} // namespace ostrel::journal
