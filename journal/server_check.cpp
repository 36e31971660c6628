#include "server_check.h"

#include "pg_connection.h"

#include <libpq-fe.h>
#include <memory>

namespace ostrel::journal {

namespace {

struct ConnectionClose {
    void operator()(pg_conn* conn) const { PQfinish(conn); }
};

std::string FirstLine(const char* text) {
    std::string line = text ? text : "";
    if (const auto end = line.find('\n'); end != std::string::npos)
        line.resize(end);
    return line;
}

std::string Setting(pg_conn* conn, const std::string& keyword) {
    std::string value;
    if (PQconninfoOption* options = PQconninfo(conn)) {
        for (PQconninfoOption* o = options; o->keyword; ++o) {
            if (keyword == o->keyword && o->val)
                value = o->val;
        }
        PQconninfoFree(options);
    }
    return value;
}

// The first row's fields of sql; empty when it failed or gave no row.
std::vector<std::optional<std::string>> Row(pg_conn* conn, const char* sql) {
    const PgResult r(PQexec(conn, sql));
    std::vector<std::optional<std::string>> fields;
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) == 0)
        return fields;
    for (int i = 0; i < PQnfields(r.get()); ++i) {
        fields.push_back(PQgetisnull(r.get(), 0, i)
                             ? std::nullopt
                             : std::optional<std::string>(PQgetvalue(r.get(), 0, i)));
    }
    return fields;
}

bool True(const std::optional<std::string>& field) {
    return field && *field == "t";
}

// Who the login is and what the schema lets it do; catalogs only, which every login may read.
constexpr const char* kFactsSql =
    "SELECT session_user, current_setting('server_version'),"
    " (SELECT rolsuper FROM pg_roles WHERE rolname = session_user),"
    " CASE WHEN EXISTS (SELECT FROM pg_roles WHERE rolname = 'ostrel_owner')"
    "  THEN pg_has_role(session_user, 'ostrel_owner', 'MEMBER') ELSE false END,"
    " CASE WHEN EXISTS (SELECT FROM pg_roles WHERE rolname = 'ostrel_station')"
    "  THEN pg_has_role(session_user, 'ostrel_station', 'MEMBER') ELSE false END,"
    " to_regclass('ostrel.series') IS NOT NULL,"
    " coalesce((SELECT bool_or(has_function_privilege(p.oid, 'EXECUTE')) FROM pg_proc p"
    "  JOIN pg_namespace n ON n.oid = p.pronamespace"
    "  WHERE n.nspname = 'ostrel' AND p.proname = 'reserve_serial'), false),"
    " coalesce((SELECT bool_or(has_function_privilege(p.oid, 'EXECUTE')) FROM pg_proc p"
    "  JOIN pg_namespace n ON n.oid = p.pronamespace"
    "  WHERE n.nspname = 'ostrel' AND p.proname = 'next_serial' AND p.pronargs = 0), false),"
    " coalesce((SELECT bool_or(has_function_privilege(p.oid, 'EXECUTE')) FROM pg_proc p"
    "  JOIN pg_namespace n ON n.oid = p.pronamespace"
    "  WHERE n.nspname = 'ostrel' AND p.proname = 'schema_version' AND p.pronargs = 0), false),"
    " to_regclass('ostrel.schema_version') IS NOT NULL"
    "  AND has_table_privilege('ostrel.schema_version', 'SELECT')";

void ReadSchemaVersion(pg_conn* conn, bool byFunction, bool byTable, ServerCheck& check) {
    const char* sql = byFunction ? "SELECT ostrel.schema_version()"
                      : byTable  ? "SELECT max(version) FROM ostrel.schema_version"
                                 : nullptr;
    if (!sql)
        return;
    const auto row = Row(conn, sql);
    if (!row.empty() && row[0])
        check.schemaVersion = std::stoi(*row[0]);
}

} // namespace

ServerCheck CheckServer(const std::string& address, const std::string& password) {
    ServerCheck check;
    check.address = address;
    if (AddressHoldsPassword(address)) {
        check.reason = "mot de passe refusé dans l'adresse (utilisez ~/.pgpass ou PGPASSFILE)";
        return check;
    }
    // The address's own settings override the earlier keywords; the password given, the file's.
    std::vector<const char*> keywords = {"connect_timeout", "application_name", "dbname"};
    std::vector<const char*> values = {"5", "ostrel-chipcard", address.c_str()};
    if (!password.empty()) {
        keywords.push_back("password");
        values.push_back(password.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    const std::unique_ptr<pg_conn, ConnectionClose> conn(
        PQconnectdbParams(keywords.data(), values.data(), 1));
    if (!conn) {
        check.reason = "mémoire épuisée";
        return check;
    }
    check.sslMode = Setting(conn.get(), "sslmode");
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        check.reason = FirstLine(PQerrorMessage(conn.get()));
        check.passwordAsked =
            PQconnectionNeedsPassword(conn.get()) || PQconnectionUsedPassword(conn.get());
        return check;
    }
    check.reached = true;
    check.tls = PQsslInUse(conn.get());
    if (const char* version = PQsslAttribute(conn.get(), "protocol"))
        check.tlsVersion = version;
    // A server that hangs ends the reads itself; SET LOCAL keeps nothing for a pooler's next
    // client.
    PgResult(PQexec(conn.get(), "BEGIN READ ONLY; SET LOCAL statement_timeout = 10000"));
    const auto facts = Row(conn.get(), kFactsSql);
    if (facts.size() < 10) {
        check.reason = FirstLine(PQerrorMessage(conn.get()));
        return check;
    }
    check.login = facts[0].value_or("");
    check.serverVersion = facts[1].value_or("");
    check.superuser = True(facts[2]);
    check.administrator = True(facts[3]);
    check.station = True(facts[4]);
    check.schemaPresent = True(facts[5]);
    check.mayReserve = True(facts[6]);
    ReadSchemaVersion(conn.get(), True(facts[8]), True(facts[9]) || check.superuser, check);
    if (check.schemaPresent && True(facts[7])) {
        const auto row = Row(conn.get(), "SELECT ostrel.next_serial()");
        if (!row.empty() && row[0])
            check.nextSerial = std::stoll(*row[0]);
    }
    PgResult(PQexec(conn.get(), "COMMIT"));
    return check;
}

std::vector<std::string> ServerCheckLines(const ServerCheck& check) {
    std::vector<std::string> lines;
    if (!check.reached) {
        lines.push_back("Serveur non joint : " + check.reason);
        if (check.passwordAsked)
            lines.push_back("Mot de passe : manquant ou refusé (~/.pgpass)");
        lines.push_back("Formatage impossible par ce serveur");
        return lines;
    }
    if (check.login.empty()) { // the catalogs could not be read
        lines.push_back("Serveur joint, mais illisible : " + check.reason);
        lines.push_back("Formatage impossible par ce serveur");
        return lines;
    }
    lines.push_back("Serveur joint : PostgreSQL " + check.serverVersion + ", connecté comme " +
                    check.login);
    if (!check.tls) {
        lines.push_back("TLS : non");
    } else {
        const std::string verified = check.sslMode == "verify-full"
                                         ? "certificat et nom du serveur vérifiés"
                                     : check.sslMode == "verify-ca"
                                         ? "certificat vérifié, nom du serveur non vérifié"
                                         : "certificat non vérifié (sslmode=" + check.sslMode + ")";
        lines.push_back("TLS : oui" +
                        (check.tlsVersion.empty() ? "" : " (" + check.tlsVersion + ")") + ", " +
                        verified);
    }
    std::string rights = check.administrator ? "administrateur (ostrel_owner)"
                         : check.station     ? "poste (ostrel_station)"
                                             : "ni poste ni administrateur";
    if (check.superuser)
        rights += ", superutilisateur";
    lines.push_back("Droits : " + rights);
    if (!check.schemaPresent)
        lines.push_back("Schéma : absent (ostrel-card site init)");
    else if (check.schemaVersion)
        lines.push_back("Schéma : version " + std::to_string(*check.schemaVersion));
    else
        lines.push_back("Schéma : présent, version illisible avec ces droits");
    if (check.schemaPresent) {
        lines.push_back(check.nextSerial
                            ? "Série : commencée, prochain numéro " +
                                  std::to_string(*check.nextSerial)
                            : "Série : pas commencée (ostrel-card site init ADRESSE --next N)");
    }
    if (check.formatPossible())
        lines.push_back("Formatage possible par ce serveur");
    else if (check.schemaPresent && !check.mayReserve)
        lines.push_back("Formatage impossible : ce compte ne peut pas réserver de numéro");
    else
        lines.push_back("Formatage impossible par ce serveur");
    return lines;
}

} // namespace ostrel::journal
