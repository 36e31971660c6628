#pragma once

#include "server_address_parts.h"

#include <string>

namespace ostrel::journal {

// The password file libpq reads: $PGPASSFILE, else ~/.pgpass.
std::string PasswordFilePath();

// Keeps password for the host, port, database and login of parts in the password file at
// path: the one line for them replaced, or added first (libpq takes the first line that
// matches, and a wildcard line below must not win); every other line kept. The file is
// created, or left, readable by its owner only (libpq ignores a file others may read), and
// replaced atomically. False with a French reason.
bool KeepPassword(const std::string& path, const ServerAddressParts& parts,
                  const std::string& password, std::string& error);

} // namespace ostrel::journal
