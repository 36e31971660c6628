#pragma once

#include <string>
#include <vector>

namespace ostrel::workflows {

// The configuration file's text; empty, and true, when it does not exist yet. False with a
// French reason for a file that cannot be read or is no regular file of at most
// kConfigFileLimit bytes. path empty: the per-user file.
bool ReadConfigText(const std::string& path, std::string& content, std::string& error);

// One value of the configuration.
struct ConfigValue {
    std::string section;
    std::string key;
    std::string value;
};

// Writes the values that differ from what the file holds, under the lock NextSerial saves take,
// in one atomic replacement: everything else (comments, other keys, line ends, quotes around a
// value) stays byte for byte. A key absent from the file and set to nothing is not added. A file
// where one of the keys cannot be told for sure (given twice...) is refused, nothing written.
// changed: how many values differed.
bool SaveConfigValues(const std::string& path, const std::vector<ConfigValue>& values, int& changed,
                      std::string& error);

} // namespace ostrel::workflows
