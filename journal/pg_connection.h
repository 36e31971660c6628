#pragma once

#include "base/waiting.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace ostrel::journal {

// A query's result, cleared on every path.
struct PgResultClear {
    void operator()(pg_result* result) const;
};
using PgResult = std::unique_ptr<pg_result, PgResultClear>;

// A text parameter of a query; nothing is SQL NULL. Values only ever travel as parameters.
using PgParam = std::optional<std::string>;

// One connection to the PostgreSQL server the stations share, opened on first use and opened
// again after it broke. Not shared between threads. Three limits are kept apart:
// - the wait for a row another station holds: the server's lock_timeout, the program's
//   Attente, set for each transaction (no session state: a pooler may give each transaction
//   another server connection); past it the call fails as busy;
// - a reply that does not come: past the wait limit plus kNetworkLimit, or connect_timeout
//   when connecting, the server is told to cancel from a thread waited for 1 s at most, the
//   connection dropped, and the call fails as "serveur injoignable";
// - a wait called off: at once, the same way.
class PgConnection {
public:
    // address: a libpq URI ("postgresql://...") or "keyword=value ..." ("service=NAME").
    explicit PgConnection(std::string address);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // How long a statement waits for a row another station holds before the server itself
    // gives up (lock_timeout); 0: not at all. An ordinary reply is never cut at this limit.
    void SetWaitLimit(std::chrono::milliseconds limit) { waitLimit_ = limit; }

    // Connects unless connected, within connect_timeout (the address's, else 5 s); false with a
    // French reason naming the server and libpq's. patience: called off, it gives up at once.
    bool Connect(std::string& error, base::Patience* patience = nullptr);

    // Runs sql with params, connecting first; a connection found broken is opened again and
    // the query sent once more (every query here may be sent twice: a lost reservation leaves
    // a gap, a finish sent again changes nothing). rows: the result of a query that returns
    // rows. False with a French reason; lost() then tells whether the server was out of reach.
    // Inside a transaction (mayRetry false) nothing is sent again: a new connection would run
    // the query outside it.
    // patience: says that the answer is waited for; called off, the statement is given up.
    bool Exec(const std::string& sql, const std::vector<PgParam>& params, PgResult* rows,
              std::string& error, bool mayRetry = true, base::Patience* patience = nullptr);

    // Runs several statements without parameters (a migration of the schema) in one
    // transaction; its reply is waited for up to limit.
    bool ExecScript(const std::string& sql, std::chrono::milliseconds limit, std::string& error);

    // The last failure was the server out of reach (connection refused or lost, shut down),
    // rather than a refusal.
    bool lost() const { return lost_; }
    // The last failure was a wait past the session's limits (another station's transaction).
    bool busy() const { return busy_; }

    // The address for messages, its password masked.
    const std::string& address() const { return shown_; }

    // The SQLSTATE of the last refusal, empty when there was none.
    const std::string& sqlState() const { return sqlState_; }
    // The server's own message of the last refusal.
    const std::string& serverMessage() const { return message_; }

    // Beyond the wait for another station, how long a reply may take before the server counts
    // as out of reach.
    static constexpr std::chrono::seconds kNetworkLimit{2};

private:
    bool Send(const std::string& sql, const std::vector<PgParam>& params, PgResult& result,
              base::Patience* patience);
    bool SendScript(const std::string& sql, std::chrono::milliseconds limit, PgResult& result);
    // Reads the results of what was sent up to the end (a pipeline's sync when piped): the
    // first failure, else the last result. False when the reply was given up.
    bool Collect(PgResult& result, bool piped, std::chrono::steady_clock::time_point deadline,
                 base::Patience* patience);
    // Waits for the reply until deadline; false when it was given up: the connection is then
    // dropped and the server told to cancel beside.
    bool Await(std::chrono::steady_clock::time_point deadline, base::Patience* patience);
    void Abandon();
    bool Broken(const PgResult& failed) const;
    bool ConnectFailed(const std::string& reason, std::string& error);
    bool Failed(PgResult& result, base::Patience* patience, std::string& error);

    std::string address_;
    std::string shown_;
    pg_conn* conn_ = nullptr;
    std::chrono::milliseconds waitLimit_ = base::kDefaultWaitLimit;
    bool gaveUp_ = false;      // the last statement was given up by this side
    bool calledOff_ = false;   // ... because its wait was called off
    bool unanswered_ = false;  // ... because no reply came in time
    long unansweredAfter_ = 0; // seconds waited then
    bool lost_ = false;
    std::atomic<bool> busy_{false};
    std::string sqlState_;
    std::string message_;
};

// The operator's French text for a server refusal, chosen by SQLSTATE (the server's own
// message is translated by the server, so it is only quoted).
std::string ServerErrorText(const std::string& sqlState, const std::string& message);
// A connection libpq could not make, in French first, libpq's words after.
std::string ConnectionFailureText(const std::string& message);

// An address that holds a password: refused, since passwords come from libpq's own files.
bool AddressHoldsPassword(const std::string& address);

// Card bytes to and from bytea's text form ("\x0a0b...").
std::string ToByteaText(const std::string& bytes);
std::string FromByteaText(const std::string& text);

} // namespace ostrel::journal
