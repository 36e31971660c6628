#include "sqlite_journal.h"

#include "base/lock_holder.h"
#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "base/user_data_folder.h"
#include "card_standing.h"
#include "journal_text.h"
#include "local_time.h"
#include "operation_key.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>
#include <utility>

namespace ostrel::journal {

namespace {

// A serial given by a format that may have reached its card appears once: the index refuses a
// second one even from a program that skipped IssuedAt.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS operations(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  time TEXT NOT NULL,
  program TEXT NOT NULL,
  reader TEXT NOT NULL,
  operation TEXT NOT NULL,
  serial_new INTEGER,
  serial_old INTEGER,
  supplier INTEGER,
  kind INTEGER,
  credits INTEGER,
  attempts_left INTEGER,
  outcome TEXT NOT NULL,
  card_before BLOB,
  card_after BLOB);
CREATE UNIQUE INDEX IF NOT EXISTS one_card_per_serial ON operations(serial_new)
  WHERE operation = 'formatage'
    AND outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue');
CREATE INDEX IF NOT EXISTS by_serial_old ON operations(serial_old);
CREATE INDEX IF NOT EXISTS by_serial_new ON operations(serial_new);
CREATE INDEX IF NOT EXISTS by_time ON operations(time, id);
)";

// Journals made before stations, or operation keys, were recorded gain the column; their rows
// name none.
constexpr const char* kHasColumn =
    "SELECT count(*) FROM pragma_table_info('operations') WHERE name = ?1";
constexpr const char* kKeyIndex = "CREATE UNIQUE INDEX IF NOT EXISTS by_key ON operations(row_key) "
                                  "WHERE row_key IS NOT NULL";
// Made once the columns they name are there. The daily totals read only the columns of
// by_day_counts, which takes over from the index of before stations were counted apart. A
// card is replaced once: a second replacement written and verified is refused.
constexpr const char* kLaterIndexes = R"(
DROP INDEX IF EXISTS by_time_counts;
CREATE INDEX IF NOT EXISTS by_day_counts ON operations(time, operation, outcome, credits, station);
CREATE UNIQUE INDEX IF NOT EXISTS one_replacement_per_card ON operations(serial_old)
  WHERE operation = 'remplacement' AND outcome = 'écrite et vérifiée';
CREATE INDEX IF NOT EXISTS by_opposition ON operations(serial_old)
  WHERE operation IN ('opposition', 'levée d''opposition');
)";

// The outcomes a finish may still change: a format cut off, or whose write failed, is finished
// when its card comes back.
constexpr const char* kStillOpen = "outcome IN ('interrompue', 'échec d''écriture')";

// The file's own random id, made with the file (or given to a file made before it): a copy
// to the server knows its rows by it, whatever the file is named or wherever it moves, and a
// file made again under the same name is another one.
constexpr const char* kFileIdTable =
    "CREATE TABLE IF NOT EXISTS journal_file(one INTEGER PRIMARY KEY CHECK (one = 1), "
    "id TEXT NOT NULL)";

constexpr const char* kColumns =
    "id, time, program, reader, operation, serial_new, serial_old, supplier, kind, credits, "
    "attempts_left, outcome, card_before, card_after, station, reason";
// The same without the card images, for pages of the listing.
constexpr const char* kRowColumns =
    "id, time, program, reader, operation, serial_new, serial_old, supplier, kind, credits, "
    "attempts_left, outcome, NULL, NULL, station, reason";

// A prepared statement, finalized on every path.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return ok_; }
    sqlite3_stmt* get() { return s_; }

    void Bind(int i, const std::string& text) {
        sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void BindBlob(int i, const std::string& bytes) {
        if (bytes.empty())
            sqlite3_bind_null(s_, i);
        else
            sqlite3_bind_blob(s_, i, bytes.data(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
    }
    template <typename T> void Bind(int i, const std::optional<T>& value) {
        if (value)
            sqlite3_bind_int64(s_, i, static_cast<sqlite3_int64>(*value));
        else
            sqlite3_bind_null(s_, i);
    }
    std::string Text(int i) {
        const auto* p = sqlite3_column_text(s_, i);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
                 : std::string();
    }
    std::string Blob(int i) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, i));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
                 : std::string();
    }
    template <typename T> std::optional<T> Number(int i) {
        if (sqlite3_column_type(s_, i) == SQLITE_NULL)
            return std::nullopt;
        return static_cast<T>(sqlite3_column_int64(s_, i));
    }

private:
    sqlite3_stmt* s_ = nullptr;
    bool ok_ = false;
};

// The row at s, read with kColumns or kRowColumns.
Entry ReadEntry(Statement& s) {
    Entry e;
    e.id = s.Number<std::int64_t>(0).value_or(0);
    e.time = s.Text(1);
    e.program = s.Text(2);
    e.reader = s.Text(3);
    e.operation = s.Text(4);
    e.serialNew = s.Number<std::int64_t>(5);
    e.serialOld = s.Number<std::int64_t>(6);
    e.supplier = s.Number<int>(7);
    e.kind = s.Number<int>(8);
    e.credits = s.Number<int>(9);
    e.attemptsLeft = s.Number<int>(10);
    e.outcome = s.Text(11);
    e.before = s.Blob(12);
    e.after = s.Blob(13);
    e.station = s.Text(14);
    e.reason = s.Text(15);
    return e;
}

// The conditions of filter, its values bound from ?2 on (?1 is the page's start), in the
// order Bind gives them: only the filters set, so that each shape has the plan that fits it.
std::string Conditions(const RowFilter& filter) {
    std::string sql = " WHERE 1";
    if (filter.serial)
        sql += " AND (serial_new = ?2 OR serial_old = ?2)";
    if (!filter.from.empty())
        sql += " AND time >= ?3";
    if (!filter.before.empty())
        sql += " AND time < ?4";
    if (!filter.station.empty())
        sql += " AND station = ?5";
    if (!filter.operation.empty())
        sql += " AND operation = ?6";
    if (!filter.outcome.empty())
        sql += " AND outcome = ?7";
    return sql;
}

void BindConditions(Statement& s, const RowFilter& filter) {
    s.Bind(2, filter.serial);
    for (const auto& [i, text] :
         {std::pair{3, &filter.from}, std::pair{4, &filter.before}, std::pair{5, &filter.station},
          std::pair{6, &filter.operation}, std::pair{7, &filter.outcome}}) {
        if (!text->empty())
            s.Bind(i, *text);
    }
}

// Every row of a statement made with kColumns or kRowColumns; false when a step failed.
bool ReadAll(Statement& s, std::vector<Entry>& entries) {
    int r = SQLITE_ROW;
    while ((r = sqlite3_step(s.get())) == SQLITE_ROW)
        entries.push_back(ReadEntry(s));
    return r == SQLITE_DONE;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

// Each call waits within its own limit, from its start, and says whether it found the journal
// busy.
class SqliteJournal::Call {
public:
    explicit Call(SqliteJournal& journal)
        : journal_(journal), hold_(journal.mutex_), patience_(journal.waiting_, kJournalWaiting) {
        journal_.busy_ = false;
        journal_.patience_ = &patience_;
    }
    ~Call() { journal_.patience_ = nullptr; }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

private:
    SqliteJournal& journal_;
    std::lock_guard<std::recursive_mutex> hold_;
    base::Patience patience_;
};

int SqliteJournal::OnBusy(void* self, int /*tries*/) {
    auto* journal = static_cast<SqliteJournal*>(self);
    return journal->patience_ && journal->patience_->Pause() ? 1 : 0;
}

SqliteJournal::SqliteJournal(std::string path, std::string spoolPath)
    : SpoolingJournal(std::move(spoolPath)),
      path_(path.empty() ? DefaultJournalFile() : std::move(path)) {
    Recount();
}

std::string SqliteJournal::SpoolSite() const {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path_, ec);
    return "fichier " + (ec ? path_ : absolute.lexically_normal().string());
}

SqliteJournal::~SqliteJournal() {
    sqlite3_close(db_);
}

std::string SqliteJournal::Failure(const std::string& what) {
    if (db_ && (sqlite3_extended_errcode(db_) & 0xff) == SQLITE_BUSY) {
        busy_ = true;
        const std::string holder = base::LockHolderText(path_);
        return "journal " + base::Escaped(path_) + " : occupé par " +
               (holder.empty() ? std::string("un autre programme") : holder) +
               (patience_ && patience_->calledOff()
                    ? ", attente abandonnée"
                    : " depuis " + std::to_string(patience_ ? patience_->waitedSeconds() : 0) +
                          " s");
    }
    return "journal " + path_ + " : " + what + " (" + (db_ ? sqlite3_errmsg(db_) : "") + ")";
}

bool SqliteJournal::Fail(std::string& error, const std::string& what) {
    error = Failure(what);
    return false;
}

bool SqliteJournal::Open(std::string& error) {
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    // What an earlier operation could not record goes in first; if it still cannot, it waits
    // for the next opening and stops nothing.
    if (PendingCount() > 0) {
        std::string unsent;
        SendSpooled([this](const Entry& e, std::string& why) { return Deliver(e, why); }, unsent);
    }
    return true;
}

bool SqliteJournal::Replaced() const {
    struct stat info {};
    return ::stat(path_.c_str(), &info) != 0 || info.st_dev != device_ || info.st_ino != inode_;
}

std::string SqliteJournal::TakeWarning() {
    std::lock_guard<std::recursive_mutex> hold(mutex_);
    return std::exchange(warning_, {});
}

bool SqliteJournal::OpenLocked(std::string& error) {
    // Deleted or replaced under the open connection, the journal would take rows nobody reads
    // again: it is opened anew, created again when it is gone.
    if (db_ && !Replaced())
        return true;
    // Known from an earlier opening (even one whose connection has since been closed), a file
    // that is no longer there, or another one, is said to be so.
    std::string reopened;
    if (known_ && Replaced()) {
        struct stat info {};
        reopened = ::stat(path_.c_str(), &info) != 0
                       ? "journal " + base::Escaped(path_) +
                             " disparu : recréé vide ; jusqu'au retour de ses anciennes entrées, "
                             "seule la configuration empêche qu'un numéro de série soit donné "
                             "deux fois"
                       : "journal " + base::Escaped(path_) +
                             " remplacé par un autre fichier : rouvert ; s'il n'a pas les "
                             "anciennes entrées, seule la configuration empêche qu'un numéro de "
                             "série soit donné deux fois";
    }
    if (db_) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
    // A device or a FIFO is never opened as a database.
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error = "journal " + path_ + " : " + base::NotRegularText(info.st_mode);
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(FolderOf(path_), ec);
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = Failure("ouverture impossible");
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_handler(db_, &SqliteJournal::OnBusy, this);
    // SQLite falls back to reading when it may not write; a journal it cannot write is no
    // journal.
    const bool readOnly = sqlite3_db_readonly(db_, "main") == 1;
    char* message = nullptr;
    const bool ready = !readOnly &&
                       sqlite3_exec(db_, (std::string("BEGIN IMMEDIATE;") + kSchema).c_str(),
                                    nullptr, nullptr, &message) == SQLITE_OK &&
                       AddColumns(message) && ReadFileId(message) &&
                       sqlite3_exec(db_, "COMMIT", nullptr, nullptr, &message) == SQLITE_OK;
    if (!ready) {
        error = readOnly
                    ? "journal " + path_ + " : écriture refusée (" + std::strerror(EACCES) + ")"
                : (sqlite3_extended_errcode(db_) & 0xff) == SQLITE_BUSY
                    ? Failure({})
                    : "journal " + path_ + " : inutilisable (" +
                          (message ? message : sqlite3_errmsg(db_)) + ")";
        sqlite3_free(message);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    if (::stat(path_.c_str(), &info) == 0) {
        device_ = info.st_dev;
        inode_ = info.st_ino;
        known_ = true;
    }
    if (!reopened.empty())
        warning_ = reopened;
    return true;
}

bool SqliteJournal::AddColumn(const char* name, const char* definition, char*& message) {
    Statement s(db_, kHasColumn);
    if (!s.ok())
        return false;
    s.Bind(1, std::string(name));
    if (sqlite3_step(s.get()) != SQLITE_ROW)
        return false;
    if (sqlite3_column_int(s.get(), 0) == 1)
        return true;
    const std::string sql =
        std::string("ALTER TABLE operations ADD COLUMN ") + name + " " + definition;
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
}

bool SqliteJournal::AddColumns(char*& message) {
    return AddColumn("station", "TEXT NOT NULL DEFAULT ''", message) &&
           AddColumn("row_key", "TEXT", message) && AddColumn("reason", "TEXT", message) &&
           sqlite3_exec(db_, kKeyIndex, nullptr, nullptr, &message) == SQLITE_OK &&
           sqlite3_exec(db_, kLaterIndexes, nullptr, nullptr, &message) == SQLITE_OK;
}

std::optional<std::int64_t> SqliteJournal::RowOfKey(const std::string& key) {
    if (key.empty())
        return std::nullopt;
    Statement s(db_, "SELECT id FROM operations WHERE row_key = ?1");
    if (!s.ok())
        return std::nullopt;
    s.Bind(1, key);
    if (sqlite3_step(s.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(s.get(), 0);
}

bool SqliteJournal::ReadFileId(char*& message) {
    if (sqlite3_exec(db_, kFileIdTable, nullptr, nullptr, &message) != SQLITE_OK)
        return false;
    Statement made(db_, "INSERT OR IGNORE INTO journal_file(one, id) VALUES(1, ?1)");
    if (!made.ok())
        return false;
    made.Bind(1, NewRandomKey());
    if (sqlite3_step(made.get()) != SQLITE_DONE)
        return false;
    Statement read(db_, "SELECT id FROM journal_file");
    if (!read.ok() || sqlite3_step(read.get()) != SQLITE_ROW)
        return false;
    fileId_ = read.Text(0);
    return true;
}

bool SqliteJournal::FileId(std::string& id, std::string& error) {
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    id = fileId_;
    return true;
}

bool SqliteJournal::Add(const Entry& entry, std::int64_t& id, std::string& error) {
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    // Sent again after an answer that never came: the row is already there.
    if (const std::optional<std::int64_t> existing = RowOfKey(entry.key)) {
        id = *existing;
        return true;
    }
    Statement s(
        db_, "INSERT INTO operations(time, program, reader, operation, serial_new, serial_old, "
             "supplier, kind, credits, attempts_left, outcome, card_before, card_after, station, "
             "row_key, reason) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, "
             "?15, ?16)");
    if (!s.ok()) {
        error = Failure("écriture impossible");
        return false;
    }
    s.Bind(1, entry.time.empty() ? UtcNow() : entry.time);
    s.Bind(2, entry.program);
    s.Bind(3, entry.reader);
    s.Bind(4, entry.operation);
    s.Bind(5, entry.serialNew);
    s.Bind(6, entry.serialOld);
    s.Bind(7, entry.supplier);
    s.Bind(8, entry.kind);
    s.Bind(9, entry.credits);
    s.Bind(10, entry.attemptsLeft);
    s.Bind(11, entry.outcome);
    s.BindBlob(12, entry.before);
    s.BindBlob(13, entry.after);
    s.Bind(14, entry.station);
    if (entry.key.empty())
        sqlite3_bind_null(s.get(), 15);
    else
        s.Bind(15, entry.key);
    if (entry.reason.empty())
        sqlite3_bind_null(s.get(), 16);
    else
        s.Bind(16, entry.reason);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = sqlite3_extended_errcode(db_) != SQLITE_CONSTRAINT_UNIQUE
                    ? Failure("écriture impossible")
                : entry.operation == kReplacement
                    ? "journal " + path_ + " : carte " +
                          std::to_string(entry.serialOld.value_or(0)) + " déjà remplacée"
                    : "journal " + path_ + " : numéro de série " +
                          std::to_string(entry.serialNew.value_or(0)) + " déjà attribué";
        return false;
    }
    id = sqlite3_last_insert_rowid(db_);
    return true;
}

bool SqliteJournal::Record(const Entry& entry, std::int64_t& id, std::string& error) {
    if (!RecordedAsAdded(entry, error))
        return false;
    return Add(entry, id, error);
}

bool SqliteJournal::Finish(std::int64_t id, const std::string& outcome,
                           std::optional<int> attemptsLeft, const std::string& after,
                           std::string& error) {
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    Statement s(db_, (std::string("UPDATE operations SET outcome = ?1, attempts_left = ?2, "
                                  "card_after = ?3 WHERE id = ?4 AND ") +
                      kStillOpen)
                         .c_str());
    if (!s.ok()) {
        error = Failure("écriture impossible");
        return false;
    }
    s.Bind(1, outcome);
    s.Bind(2, attemptsLeft);
    s.BindBlob(3, after);
    s.Bind(4, std::optional<std::int64_t>(id));
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = Failure("écriture impossible");
        return false;
    }
    // A journal created again since the row was added, or a row another program finished.
    if (sqlite3_changes(db_) != 1) {
        error = "journal " + base::Escaped(path_) + " : opération " + std::to_string(id) +
                " introuvable ou déjà terminée";
        return false;
    }
    return true;
}

SqliteJournal::Delivery SqliteJournal::Deliver(const Entry& e, std::string& error) {
    const auto failed = [&](const char* what) {
        error = Failure(what);
        const int code = sqlite3_extended_errcode(db_) & 0xff;
        return code == SQLITE_BUSY || code == SQLITE_FULL || code == SQLITE_IOERR ||
                       code == SQLITE_LOCKED || code == SQLITE_READONLY
                   ? Delivery::Unreachable
                   : Delivery::Refused;
    };
    if (const std::optional<std::int64_t> row = RowOfKey(e.key); row || e.key.empty()) {
        Statement s(db_, (std::string("UPDATE operations SET outcome = ?1, attempts_left = ?2, "
                                      "card_after = ?3 WHERE id = ?4 AND ") +
                          kStillOpen)
                             .c_str());
        if (!s.ok())
            return failed("écriture impossible");
        s.Bind(1, e.outcome);
        s.Bind(2, e.attemptsLeft);
        s.BindBlob(3, e.after);
        s.Bind(4, std::optional<std::int64_t>(row.value_or(e.id)));
        if (sqlite3_step(s.get()) != SQLITE_DONE)
            return failed("écriture impossible");
        if (sqlite3_changes(db_) == 1)
            return Delivery::Delivered;
        Statement done(db_, "SELECT outcome FROM operations WHERE id = ?1");
        done.Bind(1, std::optional<std::int64_t>(row.value_or(e.id)));
        if (done.ok() && sqlite3_step(done.get()) == SQLITE_ROW) {
            if (done.Text(0) == e.outcome)
                return Delivery::Delivered; // sent before, its answer lost
            error = "journal " + base::Escaped(path_) + " : opération " +
                    std::to_string(row.value_or(e.id)) + " déjà terminée « " + done.Text(0) + " »";
            return Delivery::Refused;
        }
        if (e.key.empty()) {
            error = "journal " + base::Escaped(path_) + " : opération " + std::to_string(e.id) +
                    " introuvable";
            return Delivery::Refused;
        }
    }
    // The row is gone with the file it was in: the whole operation goes into this one.
    std::int64_t id = 0;
    if (!Add(e, id, error))
        return busy_ ? Delivery::Unreachable : Delivery::Refused;
    return Delivery::Delivered;
}

bool SqliteJournal::SendPending(std::string& error) {
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    return SendSpooled([this](const Entry& e, std::string& why) { return Deliver(e, why); }, error);
}

bool SqliteJournal::IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                             std::string& error) {
    time.reset();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    Statement s(db_, "SELECT min(time) FROM operations WHERE "
                     "(serial_new = ?1 AND operation = 'formatage' AND outcome IN "
                     "('écrite et vérifiée', 'échec d''écriture', 'interrompue')) "
                     "OR (serial_old = ?1 AND operation IN ('formatage', 'réécriture'))");
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    s.Bind(1, std::optional<std::int64_t>(serial));
    const int r = sqlite3_step(s.get());
    if (r != SQLITE_ROW) {
        error = Failure("lecture impossible");
        return false;
    }
    if (sqlite3_column_type(s.get(), 0) != SQLITE_NULL)
        time = s.Text(0);
    return true;
}

bool SqliteJournal::UnfinishedFormat(std::int64_t serial, std::optional<std::int64_t>& id,
                                     std::string& error) {
    id.reset();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    Statement s(db_,
                "SELECT id FROM operations WHERE serial_new = ?1 AND operation = 'formatage' "
                "AND outcome IN ('interrompue', 'échec d''écriture') ORDER BY id DESC LIMIT 1");
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    s.Bind(1, std::optional<std::int64_t>(serial));
    const int r = sqlite3_step(s.get());
    if (r == SQLITE_ROW)
        id = s.Number<std::int64_t>(0);
    else if (r != SQLITE_DONE) {
        error = Failure("lecture impossible");
        return false;
    }
    return true;
}

bool SqliteJournal::List(const Filter& filter, std::vector<Entry>& entries, std::string& error) {
    entries.clear();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    const std::string sql = std::string("SELECT ") + kColumns +
                            " FROM operations WHERE (?1 IS NULL OR serial_new = ?1 OR "
                            "serial_old = ?1) AND time >= ?2 ORDER BY time DESC, id DESC";
    Statement s(db_, sql.c_str());
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    s.Bind(1, filter.serial);
    s.Bind(2, filter.since.empty() ? std::string() : filter.since + "T00:00:00Z");
    return ReadAll(s, entries) || Fail(error, "lecture impossible");
}

bool SqliteJournal::Page(const RowFilter& filter, std::optional<std::int64_t> after, int limit,
                         std::vector<Entry>& rows, std::string& error) {
    rows.clear();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    // Newest first by (time, id): by_time serves the order and the day range; a serial reads
    // its few rows by its two indexes.
    const std::string sql =
        std::string("SELECT ") + kRowColumns + " FROM operations" + Conditions(filter) +
        (after ? " AND (time, id) < ((SELECT time FROM operations WHERE id = ?1), ?1)" : "") +
        " ORDER BY time DESC, id DESC LIMIT ?8";
    Statement s(db_, sql.c_str());
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    s.Bind(1, after);
    BindConditions(s, filter);
    s.Bind(8, std::optional<std::int64_t>(limit));
    return ReadAll(s, rows) || Fail(error, "lecture impossible");
}

bool SqliteJournal::CountUpTo(const RowFilter& filter, std::int64_t cap, std::int64_t& count,
                              std::string& error) {
    count = 0;
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    const std::string sql = std::string("SELECT count(*) FROM (SELECT 1 FROM operations") +
                            Conditions(filter) + " LIMIT ?8)";
    Statement s(db_, sql.c_str());
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    BindConditions(s, filter);
    s.Bind(8, std::optional<std::int64_t>(cap + 1));
    if (sqlite3_step(s.get()) != SQLITE_ROW) {
        error = Failure("lecture impossible");
        return false;
    }
    count = s.Number<std::int64_t>(0).value_or(0);
    return true;
}

bool SqliteJournal::Images(std::int64_t id, std::string& before, std::string& after,
                           std::string& error) {
    before.clear();
    after.clear();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    Statement s(db_, "SELECT card_before, card_after FROM operations WHERE id = ?1");
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    s.Bind(1, std::optional<std::int64_t>(id));
    const int r = sqlite3_step(s.get());
    if (r == SQLITE_ROW) {
        before = s.Blob(0);
        after = s.Blob(1);
    } else if (r != SQLITE_DONE) {
        error = Failure("lecture impossible");
        return false;
    }
    return true;
}

bool SqliteJournal::History(std::int64_t serial, std::vector<Entry>& rows, std::string& error) {
    rows.clear();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    const std::string sql = std::string("SELECT ") + kColumns +
                            " FROM operations WHERE serial_new = ?1 OR serial_old = ?1 "
                            "ORDER BY id";
    Statement s(db_, sql.c_str());
    if (!s.ok()) {
        error = Failure("lecture impossible");
        return false;
    }
    s.Bind(1, std::optional<std::int64_t>(serial));
    return ReadAll(s, rows) || Fail(error, "lecture impossible");
}

bool SqliteJournal::CountByDay(const std::string& /*zone*/, const std::string& since,
                               const std::string& until, bool byStation,
                               std::vector<DayCount>& counts, std::string& error) {
    counts.clear();
    Call call(*this);
    if (!OpenLocked(error))
        return false;
    // SQLite knows only this process's zone, which is the station's: each local day's bounds
    // are reckoned here, and the journal sums each day's range from by_time_counts, which holds
    // every column read (no row with its card images is read, no time converted row by row).
    // Rows whose time is no such time belong to no day, as when the program summed them.
    Statement span(db_, "SELECT (SELECT time FROM operations WHERE time LIKE "
                        "'____-__-__T__:__:__Z' ORDER BY time LIMIT 1), (SELECT time FROM "
                        "operations WHERE time LIKE '____-__-__T__:__:__Z' ORDER BY time DESC "
                        "LIMIT 1)");
    if (!span.ok() || sqlite3_step(span.get()) != SQLITE_ROW)
        return Fail(error, "lecture impossible");
    if (sqlite3_column_type(span.get(), 0) == SQLITE_NULL)
        return true;
    std::string day = LocalDay(span.Text(0));
    std::string last = LocalDay(span.Text(1));
    if (day.empty() || last.empty())
        return true;
    day = std::max(day, since);
    if (!until.empty())
        last = std::min(last, until);
    Statement s(db_, byStation
                         ? "SELECT operation, outcome, CASE WHEN operation = 'jeton' THEN credits "
                           "END AS c, count(*), total(coalesce(credits, 0)), station FROM "
                           "operations WHERE time >= ?1 AND time < ?2 GROUP BY 6, 1, 2, 3"
                         : "SELECT operation, outcome, CASE WHEN operation = 'jeton' THEN credits "
                           "END AS c, count(*), total(coalesce(credits, 0)), '' FROM operations "
                           "WHERE time >= ?1 AND time < ?2 GROUP BY 1, 2, 3");
    if (!s.ok())
        return Fail(error, "lecture impossible");
    for (std::string start = LocalDayStart(day); day <= last;) {
        const std::string next = DayAfter(day);
        const std::string end = LocalDayStart(next);
        sqlite3_reset(s.get());
        s.Bind(1, start);
        s.Bind(2, end);
        int r = SQLITE_ROW;
        while ((r = sqlite3_step(s.get())) == SQLITE_ROW) {
            DayCount c;
            c.day = day;
            c.operation = s.Text(0);
            c.outcome = s.Text(1);
            c.credits = s.Number<int>(2);
            c.rows = s.Number<std::int64_t>(3).value_or(0);
            c.creditSum = static_cast<std::int64_t>(sqlite3_column_double(s.get(), 4));
            c.station = s.Text(5);
            counts.push_back(std::move(c));
        }
        if (r != SQLITE_DONE)
            return Fail(error, "lecture impossible");
        day = next;
        start = end;
    }
    return true;
}

std::string DefaultJournalFile() {
    return base::UserDataFolder() + "/journal.sqlite";
}

} // namespace ostrel::journal
