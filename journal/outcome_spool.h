#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace ostrel::journal {

// The end of an operation the server could not be told about: the row's id on that server
// and what to finish it with.
struct PendingOutcome {
    std::string server; // the server's address
    std::int64_t rowId = 0;
    std::string outcome;
    std::optional<int> attemptsLeft;
    std::string after;
    std::string time; // when it was kept, UTC
};

// Outcomes waiting for the server, in a SQLite file of the user's data folder. One per row:
// keeping one again replaces it, so an outcome is never sent twice for the same row.
class OutcomeSpool {
public:
    // An empty path means pending.sqlite in the user's data folder.
    explicit OutcomeSpool(std::string path);
    ~OutcomeSpool();
    OutcomeSpool(const OutcomeSpool&) = delete;
    OutcomeSpool& operator=(const OutcomeSpool&) = delete;

    bool Keep(const PendingOutcome& outcome, std::string& error);
    // Those of server (every server when empty), oldest first.
    bool List(const std::string& server, std::vector<PendingOutcome>& outcomes, std::string& error);
    bool Remove(const std::string& server, std::int64_t rowId, std::string& error);

    const std::string& path() const { return path_; }

private:
    bool Open(std::string& error);

    std::string path_;
    sqlite3* db_ = nullptr;
};

} // namespace ostrel::journal
