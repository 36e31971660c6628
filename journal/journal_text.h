#pragma once

#include "journal.h"

#include <string>
#include <vector>

namespace ostrel::journal {

// The column headings, in the order of the listings and the CSV file.
const std::vector<std::string>& ColumnNames();

// One entry's fields as text, in the order of ColumnNames(); the card bytes in hexadecimal.
std::vector<std::string> EntryFields(const Entry& entry);

// One CSV line: every cell of every CSV file goes through here, quoted where needed; ended by
// CR LF.
std::string CsvLine(const std::vector<std::string>& fields, char separator = ',');

// The entries as CSV for a spreadsheet: a header line, then one line per entry.
std::string ToCsv(const std::vector<Entry>& entries, char separator = ',');

// Put first, it tells a spreadsheet that the file is UTF-8.
inline constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// "2026-12-07T09:14:03Z": the current time, UTC.
std::string UtcNow();

// True for "YYYY-MM-DD" naming a real date.
bool IsIsoDate(const std::string& text);

} // namespace ostrel::journal
