#include "key_file.h"

#include "base/regular_file.h"

namespace ostrel::cli {

bool ReadKeyFile(const std::string& path, std::string& key, std::string& error) {
    std::string content;
    if (const base::FileResult read = base::ReadRegularFile(path, kKeyFileLimit, content); !read) {
        error = "fichier de clé " + read.error;
        return false;
    }
    key = content.substr(0, content.find('\n'));
    if (!key.empty() && key.back() == '\r')
        key.pop_back();
    return true;
}

} // namespace ostrel::cli
