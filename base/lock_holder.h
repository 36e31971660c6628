#pragma once

#include <string>

namespace ostrel::base {

// Who else holds a lock on the file at path, as the system lists it: "le processus 1234
// (ostrel-card)", or empty when it cannot tell. For messages that say why a wait was refused.
// The file is not opened: closing it would drop the locks this process holds on it.
std::string LockHolderText(const std::string& path);

} // namespace ostrel::base
