#include "wait_setting.h"

#include "base/regular_file.h"
#include "base/waiting.h"
#include "ini_serial_store.h"
#include "ini_text.h"

#include <cerrno>
#include <sys/stat.h>

namespace ostrel::workflows {

namespace {

constexpr long kLongestWaitSeconds = 3600;

} // namespace

bool ReadWaitLimit(const std::string& configPath, std::chrono::milliseconds& limit,
                   std::string& error) {
    limit = base::kDefaultWaitLimit;
    const std::string path = configPath.empty() ? DefaultConfigFile() : configPath;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return true;
    std::string content;
    if (const base::FileResult read = base::ReadRegularFile(path, kConfigFileLimit, content);
        !read) {
        error = "configuration illisible : " + read.error;
        return false;
    }
    const auto text = ini::Value(content, "Journal", "Attente");
    if (!text)
        return true;
    const bool digits = !text->empty() && text->size() <= 4 &&
                        text->find_first_not_of("0123456789") == std::string::npos;
    const long seconds = digits ? std::stol(*text) : -1;
    if (seconds < 0 || seconds > kLongestWaitSeconds) {
        error = "configuration " + path + ", [Journal] Attente : un nombre de secondes de 0 à " +
                std::to_string(kLongestWaitSeconds) + " est attendu";
        return false;
    }
    limit = std::chrono::seconds(seconds);
    return true;
}

} // namespace ostrel::workflows
