#pragma once

#include "journal.h"
#include "pg_connection.h"
#include "spooling_journal.h"

#include <atomic>
#include <mutex>

namespace ostrel::journal {

// The journal, and the serial series, on the PostgreSQL server several stations share
// (packaging/postgresql/schema.sql). Every write goes through the schema's functions: a
// station login has no other right. An operation's end that the server cannot take once the
// card was written is kept in the local spool and sent when the server answers again.
// Callable from several threads (a card operation, the next serial shown, the spool sent every
// minute): one at a time uses the connection, and a call waits for another one only within the
// program's limit. The listing has a connection of its own, so that it never waits behind a
// reservation. PendingCount() and Location() never wait on the server.
class PgJournal : public SpoolingJournal {
public:
    // address: a libpq URI or "service=NAME"; spoolPath empty: the user's data folder.
    PgJournal(std::string address, std::string spoolPath = {});

    // Connects, learns the site's identity, then sends what the spool holds for that site.
    bool Open(std::string& error) override;
    // Any operation, with no serial given: a format reserves its serial with Reserve.
    bool Add(const Entry& entry, std::int64_t& id, std::string& error) override;
    bool Finish(std::int64_t id, const std::string& outcome, std::optional<int> attemptsLeft,
                const std::string& after, std::string& error) override;
    bool IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                  std::string& error) override;
    // Only this login's formats still "interrompue": a station never rewrites another's row, nor
    // one already finished.
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
    bool CountByDay(const std::string& zone, const std::string& since, const std::string& until,
                    bool byStation, std::vector<DayCount>& counts, std::string& error) override;
    bool Record(const Entry& entry, std::int64_t& id, std::string& error) override;
    std::string Location() const override { return connection_.address(); }
    // Only when no other call holds the connection: else the next sending does it.
    bool SendPending(std::string& error) override;
    // The last call waited past the server's limits for another station's transaction.
    bool busy() const override { return busy_; }

    // The serial of the format of entry's card, taken from the series in one transaction
    // with the row "interrompue" of that format (its id in id), under entry's key (a new one
    // when empty: the same key sent again returns the same row). Every serial given or seen
    // on a card is passed over: skipped lists them, with when each was seen.
    bool Reserve(const Entry& entry, std::int64_t& serial, std::int64_t& id,
                 std::vector<SkippedSerial>& skipped, std::string& error);

    // The serial the next blank card receives; nothing before the series was started.
    bool NextSerial(std::optional<std::int64_t>& next, std::string& error);

    // The next serial for showing it: never waits for another call (inUse then, and the call
    // is true); ends as soon as waiting is called off.
    bool GlanceNextSerial(std::optional<std::int64_t>& next, bool& inUse, std::string& error,
                          base::Waiting* waiting);

    // The program's wait for another station, shown to the operator: a reservation waits
    // this long for the series row, and the server itself as long.
    void SetWaiting(base::Waiting* waiting);

private:
    class Call;
    bool SendPendingLocked(std::string& error, base::Patience* patience);
    bool ReadNextSerial(std::optional<std::int64_t>& next, std::string& error, Call& call);
    std::string SpoolSite() const override;
    // The site's own id, read once connected; a schema without one keeps the address.
    void LearnSite(base::Patience* patience);
    // A read on the listing's connection, within the program's limit, called off with the view
    // that asked; the status line is the card operations'.
    bool ListCall(const std::string& sql, const std::vector<PgParam>& params, PgResult& r,
                  std::string& error);

    std::timed_mutex mutex_; // the connection and the spool
    base::Waiting* waiting_ = nullptr;
    std::atomic<bool> busy_{false};
    PgConnection connection_;
    std::mutex listMutex_;
    PgConnection listConnection_;
    mutable std::mutex siteMutex_;
    std::string site_;
};

// What the status line shows while another station holds the series.
inline constexpr const char* kServerWaiting = "serveur occupé, attente…";

// "YYYY-MM-DDTHH:MM:SSZ" from a timestamptz column, the server giving it in UTC.
inline constexpr const char* kUtcTimeSql =
    "to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";

} // namespace ostrel::journal
