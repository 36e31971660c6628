#pragma once

#include <string>

namespace ostrel::journal {

// The versions of the database libraries the program runs with, for "À propos".
std::string SqliteVersion();
std::string LibpqVersion(); // "15.5"

} // namespace ostrel::journal
