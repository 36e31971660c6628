#pragma once

#include "base/waiting.h"
#include "journal.h"
#include "spooling_journal.h"

#include <mutex>
#include <sys/types.h>

struct sqlite3;

namespace ostrel::journal {

// The journal in one SQLite file. Several programs may write it at once: each waits for the
// others' transactions, within the waiting's limit, and then calls the journal busy. The calls
// may come from several threads, one at a time.
class SqliteJournal : public SpoolingJournal {
public:
    // An empty path means DefaultJournalFile(); an empty spoolPath the user's pending.sqlite.
    explicit SqliteJournal(std::string path, std::string spoolPath = {});
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    bool Open(std::string& error) override;
    bool Add(const Entry& entry, std::int64_t& id, std::string& error) override;
    bool Finish(std::int64_t id, const std::string& outcome, std::optional<int> attemptsLeft,
                const std::string& after, std::string& error) override;
    bool IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                  std::string& error) override;
    bool UnfinishedFormat(std::int64_t serial, std::optional<std::int64_t>& id,
                          std::string& error) override;
    bool List(const Filter& filter, std::vector<Entry>& entries, std::string& error) override;
    bool Page(const RowFilter& filter, std::optional<std::int64_t> after, int limit,
              std::vector<Entry>& rows, std::string& error) override;
    bool CountUpTo(const RowFilter& filter, std::int64_t cap, std::int64_t& count,
                   std::string& error) override;
    bool Images(std::int64_t id, std::string& before, std::string& after,
                std::string& error) override;
    bool History(std::int64_t serial, std::vector<Entry>& rows, std::string& error) override;
    // zone is this process's own: SQLite reckons local days in it.
    bool CountByDay(const std::string& zone, const std::string& since, const std::string& until,
                    bool byStation, std::vector<DayCount>& counts, std::string& error) override;
    bool Record(const Entry& entry, std::int64_t& id, std::string& error) override;
    std::string Location() const override { return path_; }
    bool busy() const override { return busy_; }
    std::string TakeWarning() override;
    bool SendPending(std::string& error) override;

    // The file's own random id (32 hex digits), made with the file and kept in it.
    bool FileId(std::string& id, std::string& error);

    // Waits for other programs within waiting's limit and says so to waiting; without it,
    // within the default limit.
    void SetWaiting(base::Waiting* waiting) { waiting_ = waiting; }

private:
    std::string Failure(const std::string& what) const;
    bool AddColumns(char*& message);
    bool AddColumn(const char* name, const char* definition, char*& message);
    std::string SpoolSite() const override;
    Delivery Deliver(const Entry& finished, std::string& error);
    std::optional<std::int64_t> RowOfKey(const std::string& key);
    bool ReadFileId(char*& message);
    bool OpenLocked(std::string& error);
    // The file at path_ is no longer the one opened.
    bool Replaced() const;
    // The failure of the last statement; a journal held past the limit is called busy.
    std::string Failure(const std::string& what);
    static int OnBusy(void* self, int tries);
    // error = Failure(what); false.
    bool Fail(std::string& error, const std::string& what);
    class Call;

    std::string path_;
    sqlite3* db_ = nullptr;
    base::Waiting* waiting_ = nullptr;
    std::recursive_mutex mutex_;
    base::Patience* patience_ = nullptr; // the wait of the call under way
    bool busy_ = false;
    dev_t device_ = 0; // the file opened last
    ino_t inode_ = 0;
    bool known_ = false;
    std::string warning_;
    std::string fileId_;
};

// What the status line shows while another program holds the journal.
inline constexpr const char* kJournalWaiting = "journal occupé, attente…";

// journal.sqlite in the user's data folder: ~/.local/share/ostrel-chipcard ($XDG_DATA_HOME
// replaces ~/.local/share, OSTREL_DATA_DIR the whole folder).
std::string DefaultJournalFile();

} // namespace ostrel::journal
