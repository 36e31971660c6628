#include "user_data_folder.h"

#include <cstdlib>
#include <filesystem>

namespace ostrel::base {

std::string UserDataFolder() {
    if (const char* own = std::getenv("OSTREL_DATA_DIR"); own && *own)
        return own;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::string(xdg) + "/ostrel-chipcard";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/ostrel-chipcard";
    return (std::filesystem::temp_directory_path() / "ostrel-chipcard").string();
}

} // namespace ostrel::base
