#pragma once

#include "journal.h"

#include <string>
#include <vector>

namespace ostrel::journal {

// The column headings, in the order of the listings and the CSV file.
const std::vector<std::string>& ColumnNames();

// One entry's fields as text, in the order of ColumnNames(); the card bytes in hexadecimal.
std::vector<std::string> EntryFields(const Entry& entry);

// One line of the tab-separated listing, with its newline: the first count fields, each with
// its control characters escaped ("\t", "\n", "\x1B"), so that a reader or program name read
// from the journal can neither make a line of its own nor drive the terminal.
std::string ListingLine(const std::vector<std::string>& fields, std::size_t count);

// One cell of a CSV file: quoted where needed, and a text a spreadsheet would take for a
// formula (starting with =, +, -, @, a tab or CR) made plain text with a leading '.
std::string CsvCell(const std::string& field);

// One CSV line: every cell of every CSV file goes through CsvCell here; ended by CR LF.
std::string CsvLine(const std::vector<std::string>& fields, char separator = ',');

// The entries as CSV for a spreadsheet: a header line, then one line per entry.
std::string ToCsv(const std::vector<Entry>& entries, char separator = ',');

// Put first, it tells a spreadsheet that the file is UTF-8.
inline constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// "2026-12-07T09:14:03Z": the current time, UTC.
std::string UtcNow();

// Whether entry is one of the rows filter chooses, as the journal chooses them.
bool RowMatches(const Entry& entry, const RowFilter& filter);

// True for "YYYY-MM-DD" naming a real date.
bool IsIsoDate(const std::string& text);

} // namespace ostrel::journal
