#include "config_file.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "ini_serial_store.h"
#include "ini_text.h"

#include <cerrno>
#include <sys/stat.h>

namespace ostrel::workflows {

bool ReadConfigText(const std::string& path, std::string& content, std::string& error) {
    const std::string file = path.empty() ? DefaultConfigFile() : path;
    content.clear();
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 && errno == ENOENT)
        return true;
    if (const base::FileResult read = base::ReadRegularFile(file, kConfigFileLimit, content);
        !read) {
        error = "configuration illisible : " + read.error;
        return false;
    }
    return true;
}

bool SaveConfigValues(const std::string& path, const std::vector<ConfigValue>& values, int& changed,
                      std::string& error) {
    changed = 0;
    const std::string file = path.empty() ? DefaultConfigFile() : path;
    // The same lock as a format's: a serial saved meanwhile is not written over.
    IniSerialStore lock(file);
    if (lock.Lock(error) != LockResult::Taken)
        return false;
    std::string content;
    if (!ReadConfigText(file, content, error))
        return false;
    std::string updated = content;
    for (const ConfigValue& v : values) {
        const ini::Lookup found = ini::Find(updated, v.section, v.key);
        if (!found.problem.empty()) {
            error = "configuration " + base::Escaped(file) + " : " + found.problem;
            return false;
        }
        if (found.value.value_or("") == v.value)
            continue;
        updated = ini::WithValue(updated, v.section, v.key, v.value);
        ++changed;
    }
    if (changed == 0)
        return true;
    if (const base::FileResult written = base::WriteFileAtomically(file, updated); !written) {
        error = "configuration non enregistrée : " + written.error;
        return false;
    }
    return true;
}

} // namespace ostrel::workflows
