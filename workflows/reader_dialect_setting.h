#pragma once

#include "reader/reader_dialects.h"

#include <optional>
#include <string>

namespace ostrel::workflows {

// The PC/SC reader's command set for both programs: the --dialect option when it was given
// (optionText not empty), else "Dialect" in section "[Reader]" of the configuration file
// configPath (empty: the per-user file), else auto (an empty result). False with a French
// message that says where a bad value came from.
bool ChooseDialect(const std::string& optionText, const std::string& configPath,
                   std::optional<reader::dialect::Dialect>& dialect, std::string& error);

} // namespace ostrel::workflows
