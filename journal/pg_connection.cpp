#include "pg_connection.h"

#include "base/hex.h"

#include <libpq-fe.h>

namespace ostrel::journal {

namespace {

// libpq's connect_timeout, unless the address sets its own.
constexpr const char* kConnectTimeoutSeconds = "5";
// A reservation waits on the series row while another station holds it: milliseconds, or
// seconds on a slow server; past these the operation is refused, never left hanging.
constexpr const char* kSessionSettings = "SELECT set_config('lock_timeout', '10s', false), "
                                         "set_config('statement_timeout', '30s', false)";

std::string FirstLine(const std::string& text) {
    const auto end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

bool IsLostState(const std::string& state) {
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03";
}

} // namespace

void PgResultClear::operator()(pg_result* result) const {
    PQclear(result);
}

PgConnection::PgConnection(std::string address) : address_(std::move(address)) {}

PgConnection::~PgConnection() {
    PQfinish(conn_);
}

bool PgConnection::Connect(std::string& error) {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK)
        return true;
    PQfinish(conn_);
    conn_ = nullptr;
    lost_ = false;
    sqlState_.clear();
    if (AddressHoldsPassword(address_)) {
        error = "serveur " + address_ +
                " : mot de passe refusé dans l'adresse (utilisez ~/.pgpass ou PGPASSFILE)";
        return false;
    }
    // Earlier keywords are overridden by the address's own: its connect_timeout wins.
    const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {kConnectTimeoutSeconds, "ostrel-chipcard", address_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    // Whatever the reason, the server cannot be told now: the end of an operation waits.
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        error = "serveur " + address_ + " : connexion impossible : " +
                FirstLine(conn_ ? PQerrorMessage(conn_) : "mémoire épuisée");
        lost_ = true;
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    // The server's notices (a shutdown announced) would land on the operator's terminal; what
    // matters reaches the caller as an error.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    PgResult settings(PQexec(conn_, kSessionSettings));
    if (PQresultStatus(settings.get()) != PGRES_TUPLES_OK) {
        error = "serveur " + address_ + " : " + FirstLine(PQerrorMessage(conn_));
        lost_ = true;
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    return true;
}

bool PgConnection::Send(const std::string& sql, const std::vector<PgParam>& params,
                        PgResult& result) {
    std::vector<const char*> values;
    for (const PgParam& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    result.reset(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                              values.data(), nullptr, nullptr, 0));
    const auto status = PQresultStatus(result.get());
    return status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
}

bool PgConnection::Exec(const std::string& sql, const std::vector<PgParam>& params, PgResult* rows,
                        std::string& error, bool mayRetry) {
    if (!Connect(error))
        return false;
    PgResult result;
    bool ok = Send(sql, params, result);
    if (!ok && mayRetry && Broken(result)) {
        // The server restarted since the last query: one more try on a new connection.
        PQfinish(conn_);
        conn_ = nullptr;
        if (!Connect(error))
            return false;
        ok = Send(sql, params, result);
    }
    lost_ = false;
    busy_ = false;
    sqlState_.clear();
    message_.clear();
    if (ok) {
        if (rows)
            *rows = std::move(result);
        return true;
    }
    const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    sqlState_ = state ? state : "";
    const char* primary =
        result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    message_ = primary ? primary : FirstLine(PQerrorMessage(conn_));
    lost_ = Broken(result) || IsLostState(sqlState_);
    busy_ = sqlState_ == "55P03" || sqlState_ == "57014";
    error = "serveur " + address_ + " : " +
            (sqlState_.empty() ? "connexion perdue (" + message_ + ")"
                               : ServerErrorText(sqlState_, message_));
    if (Broken(result)) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
    return false;
}

bool PgConnection::Broken(const PgResult& failed) const {
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
        {"42883", "schéma absent ou d'une autre version : chargez schema.sql"},
        {"42P01", "schéma absent : chargez schema.sql"},
        {"OS001", "série absente : ostrel-card journal --init-server ADRESSE --next N"},
        {"OS002", "série inutilisable"},
        {"OS003", "numéro de série déjà attribué le"},
    };
    for (const Known& k : known) {
        if (state == k.state)
            return std::string(k.text) + " (" + message + ")";
    }
    if (state.rfind("08", 0) == 0)
        return "connexion perdue (" + message + ")";
    return "erreur du serveur " + state + " (" + message + ")";
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
