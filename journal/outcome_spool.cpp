#include "outcome_spool.h"

#include "base/user_data_folder.h"
#include "journal_text.h"

#include <filesystem>
#include <sqlite3.h>

namespace ostrel::journal {

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS pending(
  server TEXT NOT NULL,
  row_id INTEGER NOT NULL,
  outcome TEXT NOT NULL,
  attempts_left INTEGER,
  card_after BLOB,
  time TEXT NOT NULL,
  PRIMARY KEY(server, row_id));
)";

// A statement finalized on every path.
struct Finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    return Statement(s);
}

void BindText(sqlite3_stmt* s, int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string Column(sqlite3_stmt* s, int i) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

} // namespace

OutcomeSpool::OutcomeSpool(std::string path)
    : path_(path.empty() ? base::UserDataFolder() + "/pending.sqlite" : std::move(path)) {}

OutcomeSpool::~OutcomeSpool() {
    sqlite3_close(db_);
}

bool OutcomeSpool::Open(std::string& error) {
    if (db_)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_busy_timeout(db_, 60000) != SQLITE_OK ||
        sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool OutcomeSpool::Keep(const PendingOutcome& o, std::string& error) {
    if (!Open(error))
        return false;
    Statement s = Prepare(db_, "INSERT OR REPLACE INTO pending VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!s) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        return false;
    }
    BindText(s.get(), 1, o.server);
    sqlite3_bind_int64(s.get(), 2, o.rowId);
    BindText(s.get(), 3, o.outcome);
    if (o.attemptsLeft)
        sqlite3_bind_int(s.get(), 4, *o.attemptsLeft);
    if (!o.after.empty())
        sqlite3_bind_blob(s.get(), 5, o.after.data(), static_cast<int>(o.after.size()),
                          SQLITE_TRANSIENT);
    BindText(s.get(), 6, UtcNow());
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool OutcomeSpool::List(const std::string& server, std::vector<PendingOutcome>& outcomes,
                        std::string& error) {
    outcomes.clear();
    // Nothing was ever kept: no file is made for saying so.
    std::error_code ec;
    if (!db_ && !std::filesystem::exists(path_, ec))
        return true;
    if (!Open(error))
        return false;
    Statement s = Prepare(db_, "SELECT server, row_id, outcome, attempts_left, card_after, time "
                               "FROM pending WHERE ?1 = '' OR server = ?1 ORDER BY time, row_id");
    if (!s) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        return false;
    }
    BindText(s.get(), 1, server);
    int r = SQLITE_ROW;
    while ((r = sqlite3_step(s.get())) == SQLITE_ROW) {
        PendingOutcome o;
        o.server = Column(s.get(), 0);
        o.rowId = sqlite3_column_int64(s.get(), 1);
        o.outcome = Column(s.get(), 2);
        if (sqlite3_column_type(s.get(), 3) != SQLITE_NULL)
            o.attemptsLeft = sqlite3_column_int(s.get(), 3);
        o.after = Column(s.get(), 4);
        o.time = Column(s.get(), 5);
        outcomes.push_back(std::move(o));
    }
    if (r != SQLITE_DONE) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool OutcomeSpool::Remove(const std::string& server, std::int64_t rowId, std::string& error) {
    if (!Open(error))
        return false;
    Statement s = Prepare(db_, "DELETE FROM pending WHERE server = ?1 AND row_id = ?2");
    if (!s) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        return false;
    }
    BindText(s.get(), 1, server);
    sqlite3_bind_int64(s.get(), 2, rowId);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

} // namespace ostrel::journal
