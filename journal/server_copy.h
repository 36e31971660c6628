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

// Rows copied per transaction: stations reserve between them.
inline constexpr std::size_t kCopyBatch = 1000;

// Copies entries (a station's own journal file, any order) into the server, kCopyBatch rows
// per transaction. Each row is known there by the file's id (SqliteJournal::FileId) and its id
// in the file, so a second copy adds nothing, and another file, even of the same name, is
// copied in full. At the end, alone holding the series, the series rises above every real
// serial of them (a blank card's FF FF FF FF is none). Refused, naming them, when the server
// holds one of their issued serials for another card; then nothing is copied.
bool CopyToServer(const std::vector<Entry>& entries, const std::string& fileId,
                  const std::string& station, PgConnection& server, CopyReport& report,
                  std::string& error);

// Starts the series at next on a schema that has none yet.
bool StartServerSeries(PgConnection& server, std::int64_t next, std::string& error);

} // namespace ostrel::journal
