#pragma once

#include "command_line.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ostrel::base {

// The options both programs take before anything else (ostrel-card before its command name).
// Each is one field here and one row in kGlobalOptions; the programs read the fields.
struct GlobalOptions {
    std::string reader;      // empty: the default reader
    std::string configFile;  // empty: the platform's per-user configuration file
    std::string journalFile; // empty: the per-user journal of card operations
    std::string dialect;     // empty: [Reader] Dialect of the configuration file, else auto
    bool version = false;    // print "PROGRAM VERSION" and nothing else
};

// Where a global option's value goes: text, a flag, or a text that may be absent (--name[=V]).
using GlobalField = std::variant<std::string GlobalOptions::*, bool GlobalOptions::*,
                                 std::optional<std::string> GlobalOptions::*>;

struct GlobalOption {
    OptionDefinition definition;
    GlobalField field;
};

inline const GlobalOption kGlobalOptions[] = {
    {{"--reader", OptionValue::Required, "LECTEUR",
      "sim (jeu de démonstration), sim:DOSSIER, sim:FICHIER, pcsc ou pcsc:NOM"},
     &GlobalOptions::reader},
    {{"--config", OptionValue::Required, "FICHIER", "fichier de configuration (INI)"},
     &GlobalOptions::configFile},
    {{"--journal", OptionValue::Required, "FICHIER",
      "journal des opérations sur les cartes (SQLite)"},
     &GlobalOptions::journalFile},
    {{"--dialect", OptionValue::Required, "JEU",
      "jeu de commandes du lecteur PC/SC : auto (par défaut), memcard,\nstorage ou iso"},
     &GlobalOptions::dialect},
    {{"--version", OptionValue::None, {}, "affiche la version du programme"},
     &GlobalOptions::version},
};

// The rows' definitions, for ParseCommandLine and the help.
std::vector<OptionDefinition> GlobalOptionDefinitions();

// The fields of the options the line gave; the others keep their defaults.
GlobalOptions ReadGlobalOptions(const ParsedLine& line);

} // namespace ostrel::base
