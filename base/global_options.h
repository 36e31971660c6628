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
    std::string journalFile; // a file or a server's address; empty: [Journal] Server, else the
                             // per-user journal of card operations
    std::string dialect;     // empty: [Reader] Dialect of the configuration file, else auto
    bool version = false;    // print "PROGRAM VERSION" and nothing else
    std::optional<std::string> trace; // --trace[=FILE]: every reader call; empty: standard error
    bool traceCodes = false;          // the trace shows presented codes
    bool traceOverwrite = false;      // an existing trace FILE is emptied, not appended to
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
    {{"--journal", OptionValue::Required, "FICHIER|ADRESSE",
      "journal des opérations sur les cartes : fichier SQLite, ou serveur\nPostgreSQL partagé "
      "par plusieurs postes (postgresql://... ou service=NOM)"},
     &GlobalOptions::journalFile},
    {{"--dialect", OptionValue::Required, "JEU",
      "jeu de commandes du lecteur PC/SC : auto (par défaut), memcard,\nstorage ou iso"},
     &GlobalOptions::dialect},
    {{"--version", OptionValue::None, {}, "affiche la version du programme"},
     &GlobalOptions::version},
    {{"--trace", OptionValue::Optional, "FICHIER",
      "chaque appel au lecteur, sur la sortie d'erreur ou à la fin de FICHIER\n(créé lisible par "
      "vous seul)"},
     &GlobalOptions::trace},
    {{"--trace-codes",
      OptionValue::None,
      {},
      "la trace montre les codes présentés (masqués sinon)"},
     &GlobalOptions::traceCodes},
    {{"--trace-overwrite",
      OptionValue::None,
      {},
      "vide le fichier de trace déjà là au lieu d'écrire à sa suite"},
     &GlobalOptions::traceOverwrite},
};

// The rows' definitions, for ParseCommandLine and the help.
std::vector<OptionDefinition> GlobalOptionDefinitions();

// The fields of the options the line gave; the others keep their defaults.
GlobalOptions ReadGlobalOptions(const ParsedLine& line);

// Why options that each parse cannot go together (--trace-codes without --trace,
// --trace-overwrite without --trace=FICHIER); empty when they can.
std::string GlobalOptionsConflict(const GlobalOptions& options);

} // namespace ostrel::base
