#include "schema_upgrade.h"

#include <libpq-fe.h>

namespace ostrel::journal {

namespace {

// A migration rewrites every row: it may take far longer than a card's statement.
constexpr std::chrono::minutes kMigrationLimit{30};

} // namespace

bool UpgradeServerSchema(PgConnection& server, int& from, std::string& error) {
    PgResult r;
    if (!server.Exec("SELECT max(version) FROM ostrel.schema_version", {}, &r, error))
        return false;
    from = PQgetisnull(r.get(), 0, 0) ? 0 : std::stoi(PQgetvalue(r.get(), 0, 0));
    if (from == 1 && !server.ExecScript(kMigrationFrom1, kMigrationLimit, error))
        return false;
    if ((from == 1 || from == 2) && !server.ExecScript(kMigrationFrom2, kMigrationLimit, error))
        return false;
    if (from >= 1 && from <= 3 && !server.ExecScript(kMigrationFrom3, kMigrationLimit, error))
        return false;
    if (from < 1 || from > kSchemaVersion) {
        error = "serveur " + server.address() + " : schéma en version " + std::to_string(from) +
                ", que ce programme ne sait pas migrer";
        return false;
    }
    return server.Exec("SELECT ostrel.configure_station_logins()", {}, nullptr, error);
}

} // namespace ostrel::journal
