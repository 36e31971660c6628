#pragma once

#include "config_file.h"
#include "journal/server_address_parts.h"

#include <string>
#include <vector>

namespace ostrel::workflows {

// What the settings window shows and saves: the station's part of the configuration file.
struct StationSettings {
    std::string readerName;              // [Lecteur] Nom: a PC/SC reader; empty: the first one
    std::string dialect = "automatique"; // [Lecteur] Jeu: automatique, memcard, storage, iso
    bool useServer = false;              // [Journal] Server set
    std::string journalFile;             // [Journal] File; empty: the per-user file
    journal::ServerAddressParts server;  // [Journal] Server, one field each
    std::string station;                 // [Station] Name
    std::string waitSeconds = "30";      // [Journal] Attente

    // The address as the file wrote it, kept as it is while the fields still say the same.
    std::string serverText;
    journal::ServerAddressParts serverAsRead;
};

// The dialects in the order the window lists them.
inline constexpr const char* kDialectNames[] = {"automatique", "memcard", "storage", "iso"};
inline constexpr const char* kSslModes[] = {"",        "disable",   "prefer",
                                            "require", "verify-ca", "verify-full"};

// Reads the settings of configPath (empty: the per-user file); a key absent keeps its default.
bool LoadStationSettings(const std::string& configPath, StationSettings& settings,
                         std::string& error);

// Why a field cannot be saved, in French; empty for a field that can.
struct SettingsProblems {
    std::string port;
    std::string journalFile;
    std::string wait;
    std::string server; // a server chosen without a host or a database

    bool none() const {
        return port.empty() && journalFile.empty() && wait.empty() && server.empty();
    }
};
SettingsProblems CheckStationSettings(const StationSettings& settings);

// The server's address the fields compose (the file's own text while they say the same).
std::string ServerAddress(const StationSettings& settings);

// The values to save: those of the fields that differ from loaded, so that a key the operator
// did not touch is neither rewritten nor added.
std::vector<ConfigValue> StationConfigValues(const StationSettings& settings,
                                             const StationSettings& loaded);

} // namespace ostrel::workflows
