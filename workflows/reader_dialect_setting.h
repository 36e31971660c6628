#pragma once

#include "reader/reader_choice.h"

#include <string>

namespace ostrel::workflows {

// The PC/SC reader's command set for both programs, into choice.dialect: the --dialect option
// when it was given (optionText not empty), else, for a PC/SC reader, "Dialect" in section
// "[Reader]" of the configuration file configPath (empty: the per-user file), else auto (empty).
// The simulated reader has no command set: the configuration is not read for it. False with a
// French message that says where a bad value came from.
bool ChooseDialect(const std::string& optionText, const std::string& configPath,
                   reader::ReaderChoice& choice, std::string& error);

} // namespace ostrel::workflows
