#include "pg_connection.h"

#include "address_mask.h"
#include "base/hex.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <system_error>
#include <thread>

namespace ostrel::journal {

namespace {

// libpq's connect_timeout, unless the address sets its own.
constexpr const char* kConnectTimeoutSeconds = "5";
// How often a wait on the server looks whether it was called off or ran out.
constexpr int kSliceMilliseconds = 20;
// Attente=0 does not wait for another station, yet another station's reservation holds the
// series for a few milliseconds: only a holder past this moment is one to refuse.
constexpr std::chrono::milliseconds kShortestLockWait{200};
// A statement still running this long past the wait for another station ends on the server's
// side, should this program be gone.
constexpr std::chrono::seconds kStatementGrace{30};
// How long a cancel is waited for before the connection is dropped all the same.
constexpr std::chrono::seconds kCancelGrace{1};
// How often a backend waiting on the server looks whether this program is still there.
constexpr const char* kClientCheck = "250ms";

std::string FirstLine(const std::string& text) {
    const auto end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

bool IsLostState(const std::string& state) {
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03";
}

// connect_timeout as libpq reads it (the address's, a service file's, else ours): under 2 s
// counts as 2 s, 0 or less as no limit.
std::chrono::steady_clock::duration ConnectTimeout(pg_conn* conn) {
    long seconds = 5;
    if (PQconninfoOption* options = PQconninfo(conn)) {
        for (PQconninfoOption* o = options; o->keyword; ++o) {
            if (std::string(o->keyword) == "connect_timeout" && o->val && *o->val)
                seconds = std::strtol(o->val, nullptr, 10);
        }
        PQconninfoFree(options);
    }
    if (seconds <= 0)
        return std::chrono::hours(24 * 365);
    return std::chrono::seconds(std::max(seconds, 2L));
}

// Waits a slice for the socket; true when it is ready (or in error: libpq then says why).
bool SocketReady(int socket, short events) {
    if (socket < 0)
        return true;
    pollfd watched{socket, events, 0};
    return ::poll(&watched, 1, kSliceMilliseconds) != 0;
}

std::string Milliseconds(std::chrono::milliseconds duration) {
    return std::to_string(duration.count()) + "ms";
}

// Asks the server to give up the statement under way, from a thread of its own, and waits for
// it at most grace: libpq's cancel opens a connection of its own and blocks as long as the
// server or the network does not answer; past grace the thread is left to end by itself.
void Cancel(pg_conn* conn, std::chrono::milliseconds grace) {
    PGcancel* cancel = PQgetCancel(conn);
    if (!cancel)
        return;
    struct Sent {
        std::mutex mutex;
        std::condition_variable done;
        bool sent = false;
    };
    const auto sent = std::make_shared<Sent>();
    try {
        std::thread([cancel, sent] {
            char reason[256];
            PQcancel(cancel, reason, sizeof reason);
            PQfreeCancel(cancel);
            const std::lock_guard lock(sent->mutex);
            sent->sent = true;
            sent->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the dropped connection is the server's only notice.
        PQfreeCancel(cancel);
        return;
    }
    std::unique_lock lock(sent->mutex);
    sent->done.wait_for(lock, grace, [&] { return sent->sent; });
}

} // namespace

void PgResultClear::operator()(pg_result* result) const {
    PQclear(result);
}

PgConnection::PgConnection(std::string address)
    : address_(std::move(address)), shown_(MaskedAddress(address_)) {}

PgConnection::~PgConnection() {
    PQfinish(conn_);
}

bool PgConnection::ConnectFailed(const std::string& reason, std::string& error) {
    error = "serveur " + shown_ + " : connexion impossible : " + ConnectionFailureText(reason);
    lost_ = true;
    PQfinish(conn_);
    conn_ = nullptr;
    return false;
}

bool PgConnection::Connect(std::string& error, base::Patience* patience) {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK)
        return true;
    PQfinish(conn_);
    conn_ = nullptr;
    lost_ = false;
    sqlState_.clear();
    if (AddressHoldsPassword(address_)) {
        error = "serveur " + shown_ +
                " : mot de passe refusé dans l'adresse (utilisez ~/.pgpass ou PGPASSFILE)";
        return false;
    }
    // Earlier keywords are overridden by the address's own: its connect_timeout wins. Over TCP
    // a peer that vanished is noticed by the keepalives and by tcp_user_timeout (unsent data).
    const char* keywords[] = {"connect_timeout",
                              "application_name",
                              "keepalives",
                              "keepalives_idle",
                              "keepalives_interval",
                              "keepalives_count",
                              "tcp_user_timeout",
                              "dbname",
                              nullptr};
    const char* values[] = {kConnectTimeoutSeconds,
                            "ostrel-chipcard",
                            "1",
                            "5",
                            "2",
                            "3",
                            "10000",
                            address_.c_str(),
                            nullptr};
    // Whatever the reason, the server cannot be told now: the end of an operation waits.
    conn_ = PQconnectStartParams(keywords, values, 1);
    if (!conn_)
        return ConnectFailed("mémoire épuisée", error);
    if (PQstatus(conn_) == CONNECTION_BAD)
        return ConnectFailed(FirstLine(PQerrorMessage(conn_)), error);
    // Step by step, so that a wait called off ends at once; libpq leaves the time limit to us.
    const auto deadline = std::chrono::steady_clock::now() + ConnectTimeout(conn_);
    PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
    while (polled != PGRES_POLLING_OK && polled != PGRES_POLLING_FAILED) {
        if (SocketReady(PQsocket(conn_), polled == PGRES_POLLING_READING ? POLLIN : POLLOUT)) {
            polled = PQconnectPoll(conn_);
        } else if (patience && patience->calledOff()) {
            return ConnectFailed("attente abandonnée", error);
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return ConnectFailed("serveur injoignable (timeout expired)", error);
        }
    }
    if (polled == PGRES_POLLING_FAILED)
        return ConnectFailed(FirstLine(PQerrorMessage(conn_)), error);
    // The server's notices (a shutdown announced) would land on the operator's terminal; what
    // matters reaches the caller as an error.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    // Sending never blocks either: a large statement to a server that stopped reading is
    // flushed within the same limits as its reply.
    PQsetnonblocking(conn_, 1);
    return true;
}

void PgConnection::Abandon() {
    gaveUp_ = true;
    // A server that answers takes the cancel before the connection goes, so that a statement
    // given up never goes on behind the caller's back once the row it waited for is free.
    Cancel(conn_, kCancelGrace);
    PQfinish(conn_);
    conn_ = nullptr;
}

bool PgConnection::Await(std::chrono::steady_clock::time_point deadline, base::Patience* patience) {
    const auto start = std::chrono::steady_clock::now();
    // What is still to send goes first (the server may answer meanwhile: that is read too).
    int unsent = PQflush(conn_);
    while (unsent == 1 || PQisBusy(conn_)) {
        if (SocketReady(PQsocket(conn_), unsent == 1 ? POLLIN | POLLOUT : POLLIN)) {
            if (!PQconsumeInput(conn_))
                return true; // broken: the result says so
            if (unsent == 1)
                unsent = PQflush(conn_);
            continue;
        }
        if (patience) {
            patience->Still(); // says that the server is waited for
            if (patience->calledOff()) {
                calledOff_ = true;
                Abandon();
                return false;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            unanswered_ = true;
            unansweredAfter_ =
                std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
            Abandon();
            return false;
        }
    }
    return true;
}

bool PgConnection::Collect(PgResult& result, bool piped,
                           std::chrono::steady_clock::time_point deadline,
                           base::Patience* patience) {
    PgResult failed;
    for (;;) {
        if (!Await(deadline, patience))
            return false;
        pg_result* next = PQgetResult(conn_);
        if (!next) {
            if (piped && PQstatus(conn_) != CONNECTION_BAD)
                continue; // the end of one statement of the pipeline
            break;
        }
        const auto status = PQresultStatus(next);
        if (status == PGRES_PIPELINE_SYNC) {
            PQclear(next);
            break;
        }
        if (status == PGRES_PIPELINE_ABORTED) {
            PQclear(next);
            continue;
        }
        if (status == PGRES_FATAL_ERROR && !failed)
            failed.reset(next);
        else
            result.reset(next);
    }
    if (piped && conn_)
        PQexitPipelineMode(conn_);
    if (failed)
        result = std::move(failed);
    return true;
}

bool PgConnection::Send(const std::string& sql, const std::vector<PgParam>& params,
                        PgResult& result, base::Patience* patience) {
    result.reset();
    gaveUp_ = calledOff_ = unanswered_ = false;
    std::vector<const char*> values;
    for (const PgParam& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    // Outside a transaction, the limits go with the statement, in the same implicit
    // transaction (a BEGIN turns it into the explicit one, which keeps them).
    const bool piped = PQtransactionStatus(conn_) == PQTRANS_IDLE;
    if (piped) {
        const std::string lockLimit = Milliseconds(std::max(waitLimit_, kShortestLockWait));
        const std::string statementLimit = Milliseconds(waitLimit_ + kStatementGrace);
        const char* limits[] = {lockLimit.c_str(), statementLimit.c_str(), kClientCheck};
        if (!PQenterPipelineMode(conn_) ||
            !PQsendQueryParams(conn_,
                               "SELECT set_config('lock_timeout', $1, true), "
                               "set_config('statement_timeout', $2, true), "
                               "set_config('client_connection_check_interval', $3, true)",
                               3, nullptr, limits, nullptr, nullptr, 0))
            return false;
    }
    if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0) ||
        (piped && !PQpipelineSync(conn_)))
        return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::max(waitLimit_, kShortestLockWait) + kNetworkLimit;
    if (!Collect(result, piped, deadline, patience))
        return false;
    const auto status = PQresultStatus(result.get());
    return result && (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK);
}

bool PgConnection::SendScript(const std::string& sql, std::chrono::milliseconds limit,
                              PgResult& result) {
    result.reset();
    gaveUp_ = calledOff_ = unanswered_ = false;
    if (!PQsendQuery(conn_, sql.c_str()))
        return false;
    if (!Collect(result, false, std::chrono::steady_clock::now() + limit, nullptr))
        return false;
    const auto status = PQresultStatus(result.get());
    return result && (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK);
}

bool PgConnection::Exec(const std::string& sql, const std::vector<PgParam>& params, PgResult* rows,
                        std::string& error, bool mayRetry, base::Patience* patience) {
    busy_ = false;
    if (!Connect(error, patience))
        return false;
    PgResult result;
    bool ok = Send(sql, params, result, patience);
    if (!ok && mayRetry && !gaveUp_ && Broken(result)) {
        // The server restarted since the last query: one more try on a new connection.
        PQfinish(conn_);
        conn_ = nullptr;
        if (!Connect(error, patience))
            return false;
        ok = Send(sql, params, result, patience);
    }
    if (ok) {
        lost_ = busy_ = false;
        sqlState_.clear();
        message_.clear();
        if (rows)
            *rows = std::move(result);
        return true;
    }
    return Failed(result, patience, error);
}

bool PgConnection::ExecScript(const std::string& sql, std::chrono::milliseconds limit,
                              std::string& error) {
    if (!Connect(error))
        return false;
    PgResult result;
    if (SendScript("BEGIN;\n" + sql + "\nCOMMIT;", limit, result)) {
        lost_ = busy_ = false;
        return true;
    }
    Failed(result, nullptr, error);
    // A script that failed midway leaves its transaction open: nothing of it stays.
    if (conn_ && PQtransactionStatus(conn_) != PQTRANS_IDLE) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
    return false;
}

bool PgConnection::Failed(PgResult& result, base::Patience* patience, std::string& error) {
    const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    sqlState_ = state ? state : "";
    const char* primary =
        result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    message_ = primary ? primary : conn_ ? FirstLine(PQerrorMessage(conn_)) : "";
    // Only a row held past the wait limit, or a wait called off, is another station's doing.
    busy_ = calledOff_ || sqlState_ == "55P03";
    lost_ = !busy_ && (unanswered_ || Broken(result) || IsLostState(sqlState_));
    if (busy_) {
        error = "serveur " + shown_ + " : occupé par un autre poste" +
                (calledOff_ ? std::string(", attente abandonnée")
                 : patience ? " depuis " + std::to_string(patience->waitedSeconds()) + " s"
                            : " (" + message_ + ")");
    } else if (unanswered_) {
        error = "serveur " + shown_ + " : serveur injoignable (pas de réponse depuis " +
                std::to_string(unansweredAfter_) + " s)";
    } else {
        error = "serveur " + shown_ + " : " +
                (sqlState_.empty() ? "connexion perdue (" + message_ + ")"
                                   : ServerErrorText(sqlState_, message_));
    }
    if (!conn_ || Broken(result)) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
    return false;
}

bool PgConnection::Broken(const PgResult& failed) const {
    if (!conn_)
        return true;
    // Every refusal of the server carries a SQLSTATE; a failure without one is libpq's own:
    // the connection went (libpq may not have marked it bad yet).
    return PQstatus(conn_) == CONNECTION_BAD || !failed ||
           !PQresultErrorField(failed.get(), PG_DIAG_SQLSTATE);
}

std::string ServerErrorText(const std::string& state, const std::string& message) {
    struct Known {
        const char* state;
        const char* text;
    };
    static const Known known[] = {
        {"23505", "numéro de série déjà attribué"},
        {"23514", "valeur refusée par le serveur"},
        {"42501", "refusé par le serveur (droits du poste)"},
        {"40001", "conflit avec un autre poste"},
        {"40P01", "conflit avec un autre poste"},
        {"55P03", "serveur occupé : attente trop longue d'un autre poste"},
        {"57014", "serveur trop lent : requête abandonnée"},
        {"57P01", "serveur arrêté"},
        {"57P02", "serveur arrêté"},
        {"57P03", "serveur en cours de démarrage"},
        {"28P01", "authentification refusée"},
        {"28000", "accès refusé"},
        {"3D000", "base de données absente"},
        {"3F000", "schéma absent : chargez schema.sql"},
        {"42883", "schéma absent ou d'une autre version : chargez schema.sql ou migrez-le "
                  "(ostrel-card journal --upgrade-server ADRESSE)"},
        {"42P01", "schéma absent : chargez schema.sql"},
        {"OS001", "série absente : ostrel-card journal --init-server ADRESSE --next N"},
        {"OS002", "série inutilisable"},
        {"OS003", "numéro de série déjà attribué le"},
        {"OS004", "schéma d'une autre version"},
    };
    for (const Known& k : known) {
        if (state == k.state)
            return std::string(k.text) + " (" + message + ")";
    }
    if (state.rfind("08", 0) == 0)
        return "connexion perdue (" + message + ")";
    return "erreur du serveur " + state + " (" + message + ")";
}

std::string ConnectionFailureText(const std::string& message) {
    // libpq says these in English whatever the locale: the operator reads French first, then
    // libpq's own words for whoever has to mend it.
    struct Known {
        const char* words;
        const char* text;
    };
    static const Known known[] = {
        {"password authentication failed", "mot de passe refusé"},
        {"no password supplied", "mot de passe absent (~/.pgpass ou PGPASSFILE)"},
        {"fe_sendauth: no password", "mot de passe absent (~/.pgpass ou PGPASSFILE)"},
        {"Connection refused", "connexion refusée : serveur arrêté ou injoignable à ce port"},
        {"No such file or directory", "serveur absent à ce dossier de socket"},
        {"timeout expired", "délai de connexion dépassé"},
        {"could not translate host name", "nom de serveur inconnu"},
        {"Name or service not known", "nom de serveur inconnu"},
        {"does not exist", "base de données ou compte absent"},
        {"no pg_hba.conf entry", "poste non autorisé par le serveur (pg_hba.conf)"},
        {"SSL", "échec TLS"},
        {"certificate", "certificat du serveur refusé"},
        {"No route to host", "serveur injoignable"},
        {"Network is unreachable", "réseau injoignable"},
        {"the database system is starting up", "serveur en cours de démarrage"},
        {"the database system is shutting down", "serveur en cours d'arrêt"},
        {"too many clients", "trop de connexions au serveur"},
    };
    for (const Known& k : known) {
        if (message.find(k.words) != std::string::npos)
            return std::string(k.text) + " (" + message + ")";
    }
    return message;
}

bool AddressHoldsPassword(const std::string& address) {
    PQconninfoOption* options = PQconninfoParse(address.c_str(), nullptr);
    if (!options)
        return false; // malformed: libpq says why when connecting
    bool holds = false;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (std::string(o->keyword) == "password" && o->val && *o->val)
            holds = true;
    }
    PQconninfoFree(options);
    return holds;
}

std::string ToByteaText(const std::string& bytes) {
    return "\\x" + base::BytesToHex(bytes);
}

std::string FromByteaText(const std::string& text) {
    std::string bytes;
    if (text.rfind("\\x", 0) != 0)
        return bytes;
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
        std::uint8_t byte = 0;
        if (!base::HexPairToByte(text[i], text[i + 1], byte))
            return {};
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

} // namespace ostrel::journal
