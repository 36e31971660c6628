#pragma once

#include "journal.h"
#include "pg_connection.h"

#include <cstdint>
#include <string>
#include <vector>

// Moving a station onto the server: run by the administrator, whose login owns the schema.
namespace ostrel::journal {

struct CopyReport {
    std::size_t copied = 0;       // rows added now
    std::size_t alreadyThere = 0; // rows an earlier copy added
    std::int64_t nextSerial = 0;  // the server's series afterwards
};

// Copies entries (a station's own journal, any order) into the server in one transaction.
// Each row carries its origin, station and id there, so a second copy adds nothing. The
// series rises above every serial in them. Refused, naming them, when the server holds one of
// their issued serials for another card; then nothing is copied.
bool CopyToServer(const std::vector<Entry>& entries, const std::string& station,
                  PgConnection& server, CopyReport& report, std::string& error);

// Starts the series at next on a schema that has none yet.
bool StartServerSeries(PgConnection& server, std::int64_t next, std::string& error);

} // namespace ostrel::journal
