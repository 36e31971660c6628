#pragma once

#include "journal.h"

struct sqlite3;

namespace ostrel::journal {

// The journal in one SQLite file. Several programs may write it at once: each waits for the
// others' short transactions (busy timeout) instead of failing.
class SqliteJournal : public Journal {
public:
    // An empty path means DefaultJournalFile().
    explicit SqliteJournal(std::string path);
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    bool Open(std::string& error) override;
    bool Add(const Entry& entry, std::int64_t& id, std::string& error) override;
    bool Finish(std::int64_t id, const std::string& outcome, std::optional<int> attemptsLeft,
                const std::string& after, std::string& error) override;
    bool IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                  std::string& error) override;
    bool List(const Filter& filter, std::vector<Entry>& entries, std::string& error) override;
    std::string Location() const override { return path_; }

private:
    std::string Failure(const std::string& what) const;
    bool AddStationColumn(char*& message);

    std::string path_;
    sqlite3* db_ = nullptr;
    std::string openError_;
};

// journal.sqlite in the user's data folder: ~/.local/share/ostrel-chipcard ($XDG_DATA_HOME
// replaces ~/.local/share, OSTREL_DATA_DIR the whole folder).
std::string DefaultJournalFile();

} // namespace ostrel::journal
