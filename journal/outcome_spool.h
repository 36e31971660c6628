#pragma once

#include "journal.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace ostrel::journal {

// The end of an operation whose card was touched but whose journal could not be told: the
// whole row as it should end (its id, key and outcome included), filed under the identity of
// the journal it belongs to.
struct PendingOutcome {
    std::string site;     // the series' identity: a server's site id, a journal file's path
    Entry entry;          // id: the row's id in that journal; outcome, attempts and after: its end
    std::string time;     // when it was kept, UTC
    std::string setAside; // why the journal refused it; empty while it waits to be sent
};

// Outcomes waiting for their journal, in a SQLite file of the user's data folder. One per row:
// keeping one again replaces it, so an outcome is never sent twice for the same row.
class OutcomeSpool {
public:
    // An empty path means pending.sqlite in the user's data folder.
    explicit OutcomeSpool(std::string path);
    ~OutcomeSpool();
    OutcomeSpool(const OutcomeSpool&) = delete;
    OutcomeSpool& operator=(const OutcomeSpool&) = delete;

    bool Keep(const std::string& site, const Entry& finished, std::string& error);
    // Those of site (every site when empty), in the order they were kept; set aside ones too
    // when asked.
    bool List(const std::string& site, bool withSetAside, std::vector<PendingOutcome>& outcomes,
              std::string& error);
    // How many of site's wait to be sent; never waits for another program using the file.
    bool Count(const std::string& site, std::size_t& count, std::string& error);
    bool Remove(const std::string& site, std::int64_t rowId, std::string& error);
    // The journal refused it for good: kept, with the reason, out of the way of the others.
    bool SetAside(const std::string& site, std::int64_t rowId, const std::string& reason,
                  std::string& error);
    // Entries kept under an older name of the same series take its identity.
    bool Rename(const std::string& from, const std::string& to, std::string& error);

    const std::string& path() const { return path_; }

private:
    bool Open(std::string& error);
    bool Exists() const;
    std::string Failure() const;

    std::string path_;
    sqlite3* db_ = nullptr;
};

} // namespace ostrel::journal
