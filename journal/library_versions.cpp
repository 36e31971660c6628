#include "library_versions.h"

#include <libpq-fe.h>
#include <sqlite3.h>

namespace ostrel::journal {

std::string SqliteVersion() {
    return sqlite3_libversion();
}

std::string LibpqVersion() {
    // 150005 for 15.5: major * 10000 + minor since version 10.
    const int version = PQlibVersion();
    return std::to_string(version / 10000) + "." + std::to_string(version % 10000);
}

} // namespace ostrel::journal
