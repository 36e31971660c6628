#pragma once

#include "reader/reader_choice.h"

#include <string>
#include <vector>

namespace ostrel::app {

// The command line of ostrel-admin.
struct AppOptions {
    reader::ReaderChoice reader;
    std::string configFile; // INI file of the workflows; empty: the per-user default
    bool help = false;
};

inline constexpr const char* kAdminUsage =
    "usage : ostrel-admin [--reader LECTEUR] [--config FICHIER]\n"
    "  --reader LECTEUR  sim (jeu de démonstration), sim:DOSSIER, sim:FICHIER, pcsc ou pcsc:NOM\n"
    "  --config FICHIER  fichier de configuration (INI)\n";

// False with a French message for an unknown option, a missing value, a repeated option or a
// malformed reader.
bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options, std::string& error);

} // namespace ostrel::app
