#include "ini_serial_store.h"

#include "base/atomic_file.h"
#include "base/lock_holder.h"
#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "ini_text.h"
#include "serial_numbers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::workflows {

namespace {

constexpr const char* kSection = "Format";
constexpr const char* kKey = "NextSerial";

std::string SystemText(int error) {
    return std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens (creating it) and locks the companion file, waiting for another program's lock within
// the limit; -1 with a reason and busy set when that program held it throughout.
int LockCompanion(const std::string& lockFile, base::Waiting* waiting, bool& busy,
                  std::string& why) {
    busy = false;
    // Not blocking on open: a FIFO put there would otherwise wait for a writer.
    const int fd =
        ::open(lockFile.c_str(),
               O_RDONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        why = "verrou " + base::Escaped(lockFile) + " impossible à ouvrir (" + SystemText(errno) +
              ")";
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        why = "verrou " + base::Escaped(lockFile) + " : " + base::NotRegularText(info.st_mode);
        return -1;
    }
    // Tries that do not block: the wait has a limit, and the window's thread never waits.
    base::Patience patience(waiting, kConfigurationWaiting);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK && patience.Pause())
            continue;
        if (errno == EWOULDBLOCK) {
            busy = true;
            const std::string holder = base::LockHolderText(lockFile);
            why = "verrou " + base::Escaped(lockFile) + " tenu par " +
                  (holder.empty() ? std::string("un autre programme") : holder) +
                  (patience.calledOff()
                       ? ", attente abandonnée"
                       : " depuis " + std::to_string(patience.waitedSeconds()) + " s");
        } else {
            why = "verrou " + base::Escaped(lockFile) + " non obtenu (" + SystemText(errno) + ")";
        }
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

IniSerialStore::IniSerialStore(std::string path)
    : path_(path.empty() ? DefaultConfigFile() : std::move(path)) {}

IniSerialStore::~IniSerialStore() {
    Unlock();
}

std::string IniSerialStore::Location() const {
    return base::Escaped(path_);
}

bool IniSerialStore::ReadFile(std::string& content, std::string& error) const {
    content.clear();
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0 && errno == ENOENT)
        return true; // created at the first save
    const base::FileResult read = base::ReadRegularFile(path_, kConfigFileLimit, content);
    if (!read) {
        error = "configuration illisible : " + read.error;
        return false;
    }
    return true;
}

bool IniSerialStore::Read(std::string& text, std::string& error) {
    std::string content;
    if (!ReadFile(content, error))
        return false;
    const ini::Lookup found = ini::Find(content, kSection, kKey);
    if (!found.problem.empty()) {
        error = "configuration " + Location() + " : " + found.problem;
        return false;
    }
    text = found.value.value_or(kDefaultNextSerial);
    return true;
}

LockResult IniSerialStore::Lock(std::string& error) {
    if (lockFd_ >= 0)
        return LockResult::Taken;
    std::string target;
    int linkError = 0;
    if (!base::FollowLinks(path_, target, linkError)) {
        error = "configuration " + Location() + " : lien symbolique illisible (" +
                SystemText(linkError) + ")";
        return LockResult::Failed;
    }
    // A device, a FIFO or a folder is refused before a lock file is put beside it.
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error = "configuration " + Location() + " : " + base::NotRegularText(info.st_mode);
        return LockResult::Failed;
    }
    std::error_code ec;
    std::filesystem::create_directories(FolderOf(target), ec);
    std::string why;
    bool busy = false;
    lockFd_ = LockCompanion(target + ".lock", waiting_, busy, why);
    if (lockFd_ < 0) {
        error = "configuration " + Location() + " : " + why;
        return busy ? LockResult::Busy : LockResult::Failed;
    }
    return LockResult::Taken;
}

void IniSerialStore::Unlock() {
    if (lockFd_ >= 0) {
        ::close(lockFd_); // releases the lock
        lockFd_ = -1;
    }
}

bool IniSerialStore::Save(std::int64_t nextSerial, std::string& error) {
    std::string content;
    if (!ReadFile(content, error)) {
        error = "numéro suivant non enregistré : " + error;
        return false;
    }
    // The value read under the same lock was found here; a file changed meanwhile by hand is
    // not guessed at.
    if (const ini::Lookup found = ini::Find(content, kSection, kKey); !found.problem.empty()) {
        error =
            "numéro suivant non enregistré : configuration " + Location() + " : " + found.problem;
        return false;
    }
    const std::string updated = ini::WithValue(content, kSection, kKey, std::to_string(nextSerial));
    const base::FileResult written = base::WriteFileAtomically(path_, updated);
    if (!written) {
        error = "numéro suivant non enregistré : " + written.error;
        return false;
    }
    return true;
}

std::string DefaultConfigFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home ? home : "") + "/.config";
    }
    return folder + "/ostrel-chipcard/ostrel-chipcard.ini";
}

} // namespace ostrel::workflows
