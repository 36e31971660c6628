#pragma once

#include "journal.h"

#include <string>
#include <vector>

namespace ostrel::journal {

// The column headings, in the order of the listings and the CSV file.
const std::vector<std::string>& ColumnNames();

// One entry's fields as text, in the order of ColumnNames(); the card bytes in hexadecimal.
std::vector<std::string> EntryFields(const Entry& entry);

// The entries as CSV for a spreadsheet: a header line, then one line per entry, fields quoted
// where needed, lines ended by CR LF.
std::string ToCsv(const std::vector<Entry>& entries);

// "2026-12-07T09:14:03Z": the current time, UTC.
std::string UtcNow();

// True for "YYYY-MM-DD" naming a real date.
bool IsIsoDate(const std::string& text);

} // namespace ostrel::journal
