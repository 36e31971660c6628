#pragma once

#include <string>

namespace ostrel::base {

// The folder of the user's data (the demo deck's copy, the journal): OSTREL_DATA_DIR when set,
// else $XDG_DATA_HOME/ostrel-chipcard, else ~/.local/share/ostrel-chipcard, else a folder in
// the temporary folder.
std::string UserDataFolder();

} // namespace ostrel::base
