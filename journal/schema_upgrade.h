#pragma once

#include "pg_connection.h"

#include <string>

// Bringing the server's schema to the version this program speaks: run by the administrator.
namespace ostrel::journal {

inline constexpr int kSchemaVersion = 4;

// The texts of packaging/postgresql/migrate-N-to-N+1.sql, as installed beside schema.sql.
extern const char* const kMigrationFrom1;
extern const char* const kMigrationFrom2;
extern const char* const kMigrationFrom3;

// Migrates an older schema, one transaction per step (from: the version found), then gives the
// station logins made since their limits. A schema already current is left as it is.
bool UpgradeServerSchema(PgConnection& server, int& from, std::string& error);

} // namespace ostrel::journal
