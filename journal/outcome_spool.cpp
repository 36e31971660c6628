#include "outcome_spool.h"

#include "base/user_data_folder.h"
#include "journal_text.h"

#include <filesystem>
#include <memory>
#include <sqlite3.h>

namespace ostrel::journal {

namespace {

// The table of the first spools ("pending", by server address and row id) is carried over
// once: its rows are filed under "adresse " + the address, which a server journal renames to
// its site's identity when it reaches that address.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS outcomes(
  site TEXT NOT NULL,
  row_id INTEGER NOT NULL,
  row_key TEXT NOT NULL DEFAULT '',
  station TEXT NOT NULL DEFAULT '',
  program TEXT NOT NULL DEFAULT '',
  reader TEXT NOT NULL DEFAULT '',
  operation TEXT NOT NULL DEFAULT '',
  serial_new INTEGER,
  serial_old INTEGER,
  supplier INTEGER,
  kind INTEGER,
  credits INTEGER,
  attempts_left INTEGER,
  outcome TEXT NOT NULL,
  card_before BLOB,
  card_after BLOB,
  time TEXT NOT NULL,
  set_aside TEXT,
  PRIMARY KEY(site, row_id));
)";

constexpr const char* kLegacy = R"(
INSERT OR IGNORE INTO outcomes(site, row_id, outcome, attempts_left, card_after, time)
  SELECT 'adresse ' || server, row_id, outcome, attempts_left, card_after, time FROM pending;
DROP TABLE pending;
)";

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

void BindBlob(sqlite3_stmt* s, int i, const std::string& bytes) {
    if (!bytes.empty())
        sqlite3_bind_blob(s, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

template <typename T> void BindNumber(sqlite3_stmt* s, int i, const std::optional<T>& value) {
    if (value)
        sqlite3_bind_int64(s, i, *value);
}

std::string Column(sqlite3_stmt* s, int i) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

template <typename T> std::optional<T> ColumnNumber(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL)
        return std::nullopt;
    return static_cast<T>(sqlite3_column_int64(s, i));
}

bool HasLegacyTable(sqlite3* db) {
    Statement s = Prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                              "'pending'");
    return s && sqlite3_step(s.get()) == SQLITE_ROW;
}

} // namespace

OutcomeSpool::OutcomeSpool(std::string path)
    : path_(path.empty() ? base::UserDataFolder() + "/pending.sqlite" : std::move(path)) {}

OutcomeSpool::~OutcomeSpool() {
    sqlite3_close(db_);
}

std::string OutcomeSpool::Failure() const {
    return "résultats en attente " + path_ + " : " + (db_ ? sqlite3_errmsg(db_) : "fermé");
}

bool OutcomeSpool::Exists() const {
    std::error_code ec;
    return db_ || std::filesystem::exists(path_, ec);
}

bool OutcomeSpool::Open(std::string& error) {
    if (db_)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_busy_timeout(db_, 10000) != SQLITE_OK ||
        sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        (HasLegacyTable(db_) &&
         sqlite3_exec(db_, kLegacy, nullptr, nullptr, nullptr) != SQLITE_OK)) {
        error = Failure();
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool OutcomeSpool::Keep(const std::string& site, const Entry& e, std::string& error) {
    if (!Open(error))
        return false;
    Statement s = Prepare(db_, "INSERT OR REPLACE INTO outcomes VALUES(?1, ?2, ?3, ?4, ?5, ?6, "
                               "?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, NULL)");
    if (!s) {
        error = Failure();
        return false;
    }
    BindText(s.get(), 1, site);
    sqlite3_bind_int64(s.get(), 2, e.id);
    BindText(s.get(), 3, e.key);
    BindText(s.get(), 4, e.station);
    BindText(s.get(), 5, e.program);
    BindText(s.get(), 6, e.reader);
    BindText(s.get(), 7, e.operation);
    BindNumber(s.get(), 8, e.serialNew);
    BindNumber(s.get(), 9, e.serialOld);
    BindNumber(s.get(), 10, e.supplier);
    BindNumber(s.get(), 11, e.kind);
    BindNumber(s.get(), 12, e.credits);
    BindNumber(s.get(), 13, e.attemptsLeft);
    BindText(s.get(), 14, e.outcome);
    BindBlob(s.get(), 15, e.before);
    BindBlob(s.get(), 16, e.after);
    BindText(s.get(), 17, e.time.empty() ? UtcNow() : e.time);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = Failure();
        return false;
    }
    return true;
}

bool OutcomeSpool::List(const std::string& site, bool withSetAside,
                        std::vector<PendingOutcome>& outcomes, std::string& error) {
    outcomes.clear();
    // Nothing was ever kept: no file is made for saying so.
    if (!Exists())
        return true;
    if (!Open(error))
        return false;
    Statement s = Prepare(
        db_, "SELECT site, row_id, row_key, station, program, reader, operation, serial_new, "
             "serial_old, supplier, kind, credits, attempts_left, outcome, card_before, "
             "card_after, time, set_aside FROM outcomes "
             "WHERE (?1 = '' OR site = ?1) AND (?2 OR set_aside IS NULL) ORDER BY rowid");
    if (!s) {
        error = Failure();
        return false;
    }
    BindText(s.get(), 1, site);
    sqlite3_bind_int(s.get(), 2, withSetAside ? 1 : 0);
    int r = SQLITE_ROW;
    while ((r = sqlite3_step(s.get())) == SQLITE_ROW) {
        PendingOutcome o;
        o.site = Column(s.get(), 0);
        Entry& e = o.entry;
        e.id = sqlite3_column_int64(s.get(), 1);
        e.key = Column(s.get(), 2);
        e.station = Column(s.get(), 3);
        e.program = Column(s.get(), 4);
        e.reader = Column(s.get(), 5);
        e.operation = Column(s.get(), 6);
        e.serialNew = ColumnNumber<std::int64_t>(s.get(), 7);
        e.serialOld = ColumnNumber<std::int64_t>(s.get(), 8);
        e.supplier = ColumnNumber<int>(s.get(), 9);
        e.kind = ColumnNumber<int>(s.get(), 10);
        e.credits = ColumnNumber<int>(s.get(), 11);
        e.attemptsLeft = ColumnNumber<int>(s.get(), 12);
        e.outcome = Column(s.get(), 13);
        e.before = Column(s.get(), 14);
        e.after = Column(s.get(), 15);
        o.time = Column(s.get(), 16);
        o.setAside = Column(s.get(), 17);
        outcomes.push_back(std::move(o));
    }
    if (r != SQLITE_DONE) {
        error = Failure();
        return false;
    }
    return true;
}

bool OutcomeSpool::Count(const std::string& site, std::size_t& count, std::string& error) {
    count = 0;
    if (!Exists())
        return true;
    // A count is for showing: another program writing the file is not waited for.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db);
        sqlite3_close(db);
        return false;
    }
    bool ok = false;
    {
        Statement s = Prepare(db, "SELECT count(*) FROM outcomes WHERE site = ?1 AND set_aside "
                                  "IS NULL");
        if (s) {
            BindText(s.get(), 1, site);
            if (sqlite3_step(s.get()) == SQLITE_ROW) {
                count = static_cast<std::size_t>(sqlite3_column_int64(s.get(), 0));
                ok = true;
            }
        } else if (HasLegacyTable(db)) {
            ok = true; // not carried over yet: nothing filed under this identity
        }
        if (!ok)
            error = "résultats en attente " + path_ + " : " + sqlite3_errmsg(db);
    }
    sqlite3_close(db);
    return ok;
}

bool OutcomeSpool::Remove(const std::string& site, std::int64_t rowId, std::string& error) {
    if (!Open(error))
        return false;
    Statement s = Prepare(db_, "DELETE FROM outcomes WHERE site = ?1 AND row_id = ?2");
    if (!s) {
        error = Failure();
        return false;
    }
    BindText(s.get(), 1, site);
    sqlite3_bind_int64(s.get(), 2, rowId);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = Failure();
        return false;
    }
    return true;
}

bool OutcomeSpool::SetAside(const std::string& site, std::int64_t rowId, const std::string& reason,
                            std::string& error) {
    if (!Open(error))
        return false;
    Statement s =
        Prepare(db_, "UPDATE outcomes SET set_aside = ?3 WHERE site = ?1 AND row_id = ?2");
    if (!s) {
        error = Failure();
        return false;
    }
    BindText(s.get(), 1, site);
    sqlite3_bind_int64(s.get(), 2, rowId);
    BindText(s.get(), 3, reason);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = Failure();
        return false;
    }
    return true;
}

bool OutcomeSpool::Rename(const std::string& from, const std::string& to, std::string& error) {
    if (!Exists())
        return true;
    if (!Open(error))
        return false;
    Statement s = Prepare(db_, "UPDATE OR IGNORE outcomes SET site = ?2 WHERE site = ?1");
    if (!s) {
        error = Failure();
        return false;
    }
    BindText(s.get(), 1, from);
    BindText(s.get(), 2, to);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = Failure();
        return false;
    }
    return true;
}

} // namespace ostrel::journal
