#pragma once

#include "journal.h"

#include <string>
#include <vector>

namespace ostrel::journal {

// The columns as the operator reads them: those of ColumnNames(), the time in local time.
std::vector<std::string> ReadableColumnNames();

// One entry as the operator reads it, in the order of ReadableColumnNames(): the time in local
// time, no old serial for a card that held none (FF FF FF FF, or a card not formatted), the
// kind in words.
std::vector<std::string> ReadableFields(const Entry& entry);

// The serial the card received or held; nothing for a card that held none.
std::optional<std::int64_t> CardSerial(const Entry& entry);

} // namespace ostrel::journal
