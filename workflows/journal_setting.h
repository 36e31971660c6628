#pragma once

#include "ini_serial_store.h"
#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "serial_series.h"

#include <memory>
#include <string>

namespace ostrel::workflows {

// Where a program keeps its journal and its serial series: a SQLite file and the INI file's
// "NextSerial" (one station), or a PostgreSQL server that several stations share.
struct JournalSetting {
    std::string server;  // a libpq address; empty: the local file
    std::string file;    // the SQLite file without a server; empty: the per-user one
    std::string station; // [Station] Name, else the host's name
};

// --journal (a file, or a server's address), else [Journal] Server of the configuration
// file, else the per-user file; the station's name from [Station] Name. False with a French
// reason when the configuration file cannot be read.
bool ChooseJournal(const std::string& optionText, const std::string& configPath,
                   JournalSetting& setting, std::string& error);

// The journal and the series of a setting, for one program.
class JournalPlace {
public:
    JournalPlace(const JournalSetting& setting, const std::string& configFile);

    journal::Journal& journal();
    SerialSeries& series() { return *series_; }
    // The server, when there is one.
    journal::PgJournal* server() { return server_.get(); }

    // The journal file, the configuration's lock and the server's series row are waited for
    // within waiting's limit.
    void SetWaiting(base::Waiting* waiting);

private:
    std::unique_ptr<journal::PgJournal> server_;
    std::unique_ptr<journal::SqliteJournal> file_;
    std::unique_ptr<IniSerialStore> ini_; // without a server
    std::unique_ptr<SerialSeries> series_;
};

} // namespace ostrel::workflows
