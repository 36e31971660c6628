#include "pgpass_file.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace ostrel::journal {

namespace {

constexpr std::size_t kPasswordFileLimit = 1024 * 1024;

// The line's first four fields, escapes kept, as they identify the line.
std::string Key(const std::string& line) {
    std::size_t fields = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == ':' && ++fields == 4) {
            return line.substr(0, i);
        }
    }
    return {};
}

} // namespace

std::string PasswordFilePath() {
    if (const char* file = std::getenv("PGPASSFILE"); file && *file)
        return file;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.pgpass";
}

bool KeepPassword(const std::string& path, const ServerAddressParts& parts,
                  const std::string& password, std::string& error) {
    std::string content;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 || errno != ENOENT) {
        if (const base::FileResult read = base::ReadRegularFile(path, kPasswordFileLimit, content);
            !read) {
            error = "fichier des mots de passe illisible : " + read.error;
            return false;
        }
    }
    const std::string line = PasswordFileLine(parts, password);
    const std::string key = Key(line);
    std::string updated;
    bool replaced = false;
    std::size_t pos = 0;
    while (pos < content.size()) {
        auto end = content.find('\n', pos);
        end = end == std::string::npos ? content.size() : end + 1;
        std::string current = content.substr(pos, end - pos);
        std::string bare = current;
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r'))
            bare.pop_back();
        if (!replaced && Key(bare) == key) {
            updated += line + current.substr(bare.size());
            replaced = true;
        } else {
            updated += current;
        }
        pos = end;
    }
    // libpq takes the first line that matches: a new one goes before any wildcard line.
    if (!replaced)
        updated = line + "\n" + updated;
    // Made private before the password goes in, whatever mode it had.
    if (::stat(path.c_str(), &info) != 0) {
        if (const base::FileResult made = base::WriteFileAtomically(path, ""); !made) {
            error = "fichier des mots de passe : " + made.error;
            return false;
        }
    }
    if (::chmod(path.c_str(), 0600) != 0) {
        error = "fichier des mots de passe " + path + " : droits non changés";
        return false;
    }
    if (const base::FileResult written = base::WriteFileAtomically(path, updated); !written) {
        error = "fichier des mots de passe : " + written.error;
        return false;
    }
    return true;
}

} // namespace ostrel::journal
