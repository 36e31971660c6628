#pragma once

#include "reader/reader_choice.h"

#include <string>

namespace ostrel::workflows {

// The reader both programs use without --reader: the PC/SC reader "Nom" of section "[Lecteur]"
// of the configuration file configPath (empty: the per-user file) when it names one; choice is
// left as it is otherwise. False with a French reason for a file that cannot be read.
bool ChooseConfiguredReader(const std::string& configPath, reader::ReaderChoice& choice,
                            std::string& error);

// The values "Jeu" of "[Lecteur]" takes: automatique, memcard, storage, iso; the option's
// "auto" is taken too.
bool ParseConfiguredDialect(const std::string& text,
                            std::optional<reader::dialect::Dialect>& dialect, std::string& error);

} // namespace ostrel::workflows
