#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a station finds on the server it is told to use: run by the settings window's "Essayer"
// and by "ostrel-card journal --check-server", without touching the series.
namespace ostrel::journal {

struct ServerCheck {
    std::string address;
    bool reached = false;
    std::string reason;         // libpq's, when not reached
    bool passwordAsked = false; // the server wanted a password that was missing or refused
    bool tls = false;
    std::string tlsVersion;
    std::string sslMode; // as libpq used it
    std::string login;
    std::string serverVersion;
    bool superuser = false;
    bool administrator = false; // member of ostrel_owner
    bool station = false;       // member of ostrel_station
    bool schemaPresent = false;
    std::optional<int> schemaVersion;       // absent: not readable by this login
    bool mayReserve = false;                // may call the reservation of a serial
    std::optional<std::int64_t> nextSerial; // absent: the series was not started

    // A station could format cards through this server with this login.
    bool formatPossible() const {
        return reached && schemaPresent && mayReserve && nextSerial.has_value();
    }
};

// Connects to address (within its connect_timeout, else 5 s), with password when given (it
// then wins over the password file), and reads what ServerCheck holds. Never writes.
ServerCheck CheckServer(const std::string& address, const std::string& password = {});

// The report in French, one fact a line, the last one saying whether a station could format.
std::vector<std::string> ServerCheckLines(const ServerCheck& check);

} // namespace ostrel::journal
