#pragma once

#include <chrono>
#include <string>

namespace ostrel::workflows {

// The longest a card operation waits for the journal or the configuration's lock held by another
// program: "Attente" (whole seconds, 0 to 3600) in section "[Journal]" of the configuration file
// configPath (empty: the per-user file), else 30 s. False with a French message naming the file
// for a value that is not such a number, or a file that cannot be read.
bool ReadWaitLimit(const std::string& configPath, std::chrono::milliseconds& limit,
                   std::string& error);

} // namespace ostrel::workflows
