#pragma once

#include <string>

namespace ostrel::journal {

// A server's address as the settings window shows it, one field each; empty fields are left
// to libpq's defaults (a local socket, port 5432, the login's own name as database...).
struct ServerAddressParts {
    std::string host;
    std::string port;
    std::string database;
    std::string login;
    std::string sslMode; // disable, prefer, require, verify-ca, verify-full; empty: libpq's
};

// The parts as one "postgresql://" URI, each part percent-encoded; a host that is a folder
// (a local socket) goes in "?host=".
std::string ComposeAddress(const ServerAddressParts& parts);

// The parts of any libpq address (URI or "key=value ..."); false for one libpq cannot read, or
// one that names a service (its parts are in a file of its own).
bool SplitAddress(const std::string& address, ServerAddressParts& parts);

// The password file's line for parts: host (localhost without one, as libpq looks it up), port
// (5432 by default), database, login and password, escaped as the file wants.
std::string PasswordFileLine(const ServerAddressParts& parts, const std::string& password);

} // namespace ostrel::journal
