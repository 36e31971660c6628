#pragma once

#include <cstddef>
#include <string>

namespace ostrel::cli {

// A key file holds one short line; anything larger is not a key file.
inline constexpr std::size_t kKeyFileLimit = 4 * 1024;

// Reads the first line of the key file at path (without its line end) into key. Only a regular
// file of at most kKeyFileLimit bytes is read; anything else is refused at once with a message
// naming the file and what it is. An empty first line gives an empty key: the caller decides.
bool ReadKeyFile(const std::string& path, std::string& key, std::string& error);

} // namespace ostrel::cli
