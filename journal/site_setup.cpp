#include "site_setup.h"

#include "base/regular_file.h"
#include "pg_connection.h"

#include <cctype>
#include <libpq-fe.h>
#include <memory>
#include <sys/random.h>

namespace ostrel::journal {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSchemaFileLimit = 4 * 1024 * 1024;

struct ConnectionClose {
    void operator()(pg_conn* conn) const { PQfinish(conn); }
};
using Connection = std::unique_ptr<pg_conn, ConnectionClose>;

std::string FirstLine(const char* text) {
    std::string line = text ? text : "";
    if (const auto end = line.find('\n'); end != std::string::npos)
        line.resize(end);
    return line;
}

// The address, on another database when database is not empty.
Connection Connect(const std::string& address, const std::string& database, std::string& error) {
    std::vector<const char*> keywords = {"connect_timeout", "application_name", "dbname"};
    std::vector<const char*> values = {"5", "ostrel-card site", address.c_str()};
    if (!database.empty()) {
        keywords.push_back("dbname");
        values.push_back(database.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    Connection conn(PQconnectdbParams(keywords.data(), values.data(), 1));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        error = "serveur " + address + " : connexion impossible : " +
                (conn ? FirstLine(PQerrorMessage(conn.get())) : "mémoire épuisée");
        return nullptr;
    }
    PQsetNoticeProcessor(
        conn.get(), [](void*, const char*) {}, nullptr);
    return conn;
}

// Runs sql with text parameters; rows, when given, receives the result.
bool Run(pg_conn* conn, const std::string& sql, const std::vector<std::string>& params,
         std::string& error, PgResult* rows = nullptr) {
    std::vector<const char*> values;
    for (const std::string& p : params)
        values.push_back(p.c_str());
    PgResult r(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                            values.data(), nullptr, nullptr, 0));
    const auto status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        error = FirstLine(PQerrorMessage(conn));
        return false;
    }
    if (rows)
        *rows = std::move(r);
    return true;
}

// The first field of the first row, empty for none or NULL.
bool Value(pg_conn* conn, const std::string& sql, const std::vector<std::string>& params,
           std::string& value, std::string& error) {
    PgResult r;
    if (!Run(conn, sql, params, error, &r))
        return false;
    value = PQntuples(r.get()) > 0 && !PQgetisnull(r.get(), 0, 0) ? PQgetvalue(r.get(), 0, 0) : "";
    return true;
}

std::string Identifier(pg_conn* conn, const std::string& name) {
    char* quoted = PQescapeIdentifier(conn, name.c_str(), name.size());
    std::string text = quoted ? quoted : "";
    PQfreemem(quoted);
    return text;
}

std::string Literal(pg_conn* conn, const std::string& text) {
    char* quoted = PQescapeLiteral(conn, text.c_str(), text.size());
    std::string literal = quoted ? quoted : "";
    PQfreemem(quoted);
    return literal;
}

std::string DatabaseOf(const std::string& address) {
    std::string database;
    if (PQconninfoOption* options = PQconninfoParse(address.c_str(), nullptr)) {
        for (PQconninfoOption* o = options; o->keyword; ++o) {
            if (std::string(o->keyword) == "dbname" && o->val)
                database = o->val;
        }
        PQconninfoFree(options);
    }
    return database;
}

// The login created with role, or given it when it was there; its password set only when it
// is created, sent already hashed so that it appears in no server log.
bool EnsureLogin(pg_conn* conn, const std::string& login, const std::string& role,
                 const std::string& password, bool& created, bool& granted, std::string& error) {
    std::string exists;
    if (!Value(conn, "SELECT 1 FROM pg_roles WHERE rolname = $1", {login}, exists, error))
        return false;
    if (exists.empty()) {
        char* hashed = PQencryptPasswordConn(conn, password.c_str(), login.c_str(), nullptr);
        if (!hashed) {
            error = FirstLine(PQerrorMessage(conn));
            return false;
        }
        const std::string sql = "CREATE ROLE " + Identifier(conn, login) + " LOGIN PASSWORD " +
                                Literal(conn, hashed) + " IN ROLE " + role;
        PQfreemem(hashed);
        created = true;
        return Run(conn, sql, {}, error);
    }
    std::string member;
    if (!Value(conn, "SELECT pg_has_role($1, $2, 'MEMBER')", {login, role}, member, error))
        return false;
    if (member == "t")
        return true;
    granted = true;
    return Run(conn, "GRANT " + role + " TO " + Identifier(conn, login), {}, error);
}

constexpr int kIncludeDepth = 8;

bool Expand(const fs::path& file, int depth, std::string& statements, std::string& error) {
    if (depth > kIncludeDepth) {
        error = "schéma " + file.string() + " : fichiers inclus les uns dans les autres";
        return false;
    }
    std::string text;
    if (const base::FileResult read = base::ReadRegularFile(file, kSchemaFileLimit, text); !read) {
        error = "schéma illisible : " + read.error;
        return false;
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(pos, end - pos);
        pos = end;
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] != '\\') {
            statements += line;
            continue;
        }
        // "\i NAME" or "\ir NAME": the file beside this one, in its place.
        std::string command = line.substr(first);
        while (!command.empty() && std::isspace(static_cast<unsigned char>(command.back())))
            command.pop_back();
        const auto blank = command.find_first_of(" \t");
        const std::string name = command.substr(0, blank);
        if ((name == "\\i" || name == "\\ir" || name == "\\include" ||
             name == "\\include_relative") &&
            blank != std::string::npos) {
            const std::string included = command.substr(command.find_first_not_of(" \t", blank));
            if (!Expand(file.parent_path() / included, depth + 1, statements, error))
                return false;
            statements += "\n";
        }
    }
    return true;
}

bool LoadSchema(pg_conn* conn, const std::string& file, std::string& error) {
    std::string statements;
    if (!SchemaStatements(file, statements, error))
        return false;
    // One transaction: a schema half loaded would pass for a whole one at the next run.
    PgResult r(PQexec(conn, ("BEGIN;\n" + statements + "\n;COMMIT;").c_str()));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK && PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        error = "schéma " + file + " non chargé : " + FirstLine(PQerrorMessage(conn));
        PgResult(PQexec(conn, "ROLLBACK"));
        return false;
    }
    return true;
}

} // namespace

bool SchemaStatements(const std::string& file, std::string& statements, std::string& error) {
    statements.clear();
    return Expand(file, 0, statements, error);
}

bool InitSite(const SiteInitRequest& request, SiteInitReport& report, std::string& error) {
    report = {};
    report.database = DatabaseOf(request.address);
    if (report.database.empty()) {
        error = "l'adresse " + request.address + " ne nomme pas la base du site";
        return false;
    }
    const auto fail = [&](const std::string& why) {
        error = "serveur " + request.address + " : " + why;
        return false;
    };
    {
        const Connection maintenance = Connect(request.address, "postgres", error);
        if (!maintenance)
            return false;
        std::string exists;
        if (!Value(maintenance.get(), "SELECT 1 FROM pg_database WHERE datname = $1",
                   {report.database}, exists, error))
            return fail(error);
        if (exists.empty()) {
            if (!Run(maintenance.get(),
                     "CREATE DATABASE " + Identifier(maintenance.get(), report.database), {},
                     error))
                return fail(error);
            report.databaseCreated = true;
        }
    }
    const Connection site = Connect(request.address, {}, error);
    if (!site)
        return false;
    std::string present;
    if (!Value(site.get(), "SELECT to_regclass('ostrel.series') IS NOT NULL", {}, present, error))
        return fail(error);
    if (present != "t") {
        if (!LoadSchema(site.get(), request.schemaFile, error))
            return fail(error);
        report.schemaLoaded = true;
    }
    if (!Value(site.get(), "SELECT max(version) FROM ostrel.schema_version", {},
               report.schemaVersion, error))
        return fail(error);
    std::string next;
    if (!Value(site.get(), "SELECT next_serial FROM ostrel.series", {}, next, error))
        return fail(error);
    if (next.empty()) {
        if (!Run(site.get(),
                 "INSERT INTO ostrel.series(next_serial) VALUES ($1) ON CONFLICT DO NOTHING",
                 {std::to_string(request.next)}, error))
            return fail(error);
        report.seriesStarted = true;
        next = std::to_string(request.next);
    }
    report.nextSerial = std::stoll(next);
    if (!request.adminLogin.empty()) {
        const std::string password =
            request.adminPassword.empty() ? GeneratePassword() : request.adminPassword;
        if (!EnsureLogin(site.get(), request.adminLogin, "ostrel_owner", password,
                         report.adminCreated, report.adminGranted, error))
            return fail(error);
        if (report.adminCreated && request.adminPassword.empty())
            report.generatedPassword = password;
    }
    // Group roles, so that a station added later needs no new line.
    const std::string db = report.database;
    report.hbaLines = {"hostssl  " + db + "  +ostrel_station  samenet  scram-sha-256",
                       "hostssl  " + db + "  +ostrel_owner    samenet  scram-sha-256"};
    return true;
}

bool AddStation(const StationRequest& request, StationReport& report, std::string& error) {
    report = {};
    const Connection site = Connect(request.address, {}, error);
    if (!site)
        return false;
    const std::string password = request.password.empty() ? GeneratePassword() : request.password;
    if (!EnsureLogin(site.get(), request.login, "ostrel_station", password, report.created,
                     report.granted, error)) {
        error = "serveur " + request.address + " : " + error;
        return false;
    }
    if (report.created)
        report.password = password;
    // A station stuck in the middle of a reservation does not hold the series for ever: the
    // schema's own limits when it has them, else this one. Settings of the group role would not
    // reach the login.
    std::string configure;
    if (!Value(site.get(), "SELECT to_regproc('ostrel.configure_station_logins') IS NOT NULL", {},
               configure, error) ||
        !Run(site.get(),
             configure == "t" ? std::string("SELECT ostrel.configure_station_logins()")
                              : "ALTER ROLE " + Identifier(site.get(), request.login) +
                                    " SET idle_in_transaction_session_timeout = '10s'",
             {}, error)) {
        error = "serveur " + request.address + " : " + error;
        return false;
    }
    return true;
}

std::string GeneratePassword() {
    // No letters that read alike (I l 1, O 0), so that it can be typed from a printout.
    constexpr std::string_view kAlphabet =
        "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
    std::string password;
    while (password.size() < 20) {
        unsigned char byte = 0;
        if (::getrandom(&byte, 1, 0) != 1)
            continue;
        // Rejection keeps every character equally likely.
        if (byte < 256 - 256 % kAlphabet.size())
            password += kAlphabet[byte % kAlphabet.size()];
    }
    return password;
}

fs::path ShippedSchemaFile(const fs::path& executable) {
    if (!executable.empty()) {
        const fs::path installed =
            (executable.parent_path() / "../share/ostrel-chipcard/postgresql/schema.sql")
                .lexically_normal();
        std::error_code ec;
        if (fs::is_regular_file(installed, ec))
            return installed;
    }
    return OSTREL_SOURCE_SCHEMA_FILE;
}

} // namespace ostrel::journal
