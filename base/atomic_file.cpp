#include "atomic_file.h"

#include "regular_file.h"
#include "text_excerpt.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::base {

namespace {

constexpr int kMostLinksFollowed = 40;

FileResult Failed(const std::string& path, const std::string& why, int error) {
    return {false, Escaped(path) + " : " + why + " (" + std::strerror(error) + ")"};
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What may be written, decided before anything is: the resolved target and its state.
struct Target {
    std::string file; // the links followed
    bool exists = false;
    struct stat info {};
};

FileResult Examine(const std::string& path, Target& target) {
    int error = 0;
    if (!FollowLinks(path, target.file, error))
        return Failed(path, "lien symbolique illisible", error);
    if (::stat(target.file.c_str(), &target.info) == 0) {
        target.exists = true;
        if (!S_ISREG(target.info.st_mode))
            return {false, Escaped(path) + " : " + NotRegularText(target.info.st_mode)};
        // The owner alone may ignore a missing write bit; the mark is respected all the same.
        if ((target.info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return {false, Escaped(path) + " : fichier en lecture seule, non modifié"};
        if (::access(target.file.c_str(), W_OK) != 0)
            return Failed(path, "écriture refusée", errno);
        return {true, {}};
    }
    if (errno != ENOENT)
        return Failed(path, "fichier inaccessible", errno);
    const std::string folder = FolderOf(target.file);
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0)
        return Failed(path, "dossier " + Escaped(folder) + " inaccessible", errno);
    if (!S_ISDIR(folderInfo.st_mode))
        return {false, Escaped(path) + " : " + Escaped(folder) + " n'est pas un dossier"};
    return {true, {}};
}

bool WriteAll(int fd, std::string_view bytes, off_t offset) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + written, bytes.size() - written,
                                   offset + static_cast<off_t>(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int CreateTemporary(const std::string& folder, const std::string& prefix, std::string& name) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[3] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return -1;
        name = folder + "/" + prefix + std::to_string(::getpid()) + "-";
        for (const unsigned char byte : random) {
            name.push_back(kDigits[byte >> 4]);
            name.push_back(kDigits[byte & 0x0F]);
        }
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The name of this host, as temporary files carry it.
std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

// ".NAME.ostrel-tmp-HOST-PID-XXXXXX" with this host's name (six letters or digits, as mkstemp
// makes them too): the PID of the process of this host that wrote it; 0 for any other name,
// among them another computer's save in progress in a shared folder.
long TemporaryOwner(const std::string& name, const std::string& host) {
    const std::string marker = ".ostrel-tmp-" + host + "-";
    const auto at = name.find(marker);
    if (name.size() < 2 || name[0] != '.' || at == std::string::npos || at == 0)
        return 0;
    const std::string rest = name.substr(at + marker.size());
    const auto dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || rest.find_first_not_of("0123456789") != dash ||
        rest.size() != dash + 7 ||
        !std::all_of(rest.begin() + static_cast<long>(dash) + 1, rest.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
        return 0;
    return std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
}

// Removes what saves into this folder left when their process died before the rename (a
// killed program's card or configuration save); the temporary files of saves still running in
// other processes, and those of other hosts (whose PIDs mean nothing here) or of other
// programs, are left alone.
void RemoveLeftTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::string host = HostName();
    while (const dirent* entry = ::readdir(dir)) {
        const long pid = TemporaryOwner(entry->d_name, host);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 ||
            errno != ESRCH)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The new contents whole in a new temporary file beside the target, on disk, with the target's
// mode and owner. False with the system's error and nothing left behind on failure.
bool WriteTemporary(const std::string& folder, const std::string& prefix, const Target& target,
                    std::string_view bytes, std::string& temporary, int& error) {
    const int fd = CreateTemporary(folder, prefix, temporary);
    if (fd < 0) {
        error = errno;
        temporary.clear();
        return false;
    }
    bool ok = true;
    if (target.exists) {
        // Before any byte is written: a private file never becomes readable by others.
        ok = ::fchmod(fd, target.info.st_mode & 07777) == 0;
        if (ok && ::fchown(fd, target.info.st_uid, target.info.st_gid) != 0 && errno != EPERM)
            ok = false;
    }
    ok = ok && WriteAll(fd, bytes, 0) && ::fsync(fd) == 0;
    error = ok ? 0 : (errno ? errno : EIO);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        temporary.clear();
    }
    return ok;
}

// Other names of the same file would keep the old contents after a rename: the target is
// written in place, and only once the new contents cannot be lost.
FileResult RewriteInPlace(const std::string& path, const Target& target, std::string_view bytes) {
    const int fd = ::open(target.file.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Failed(path, "écriture impossible", errno);
    const off_t oldSize = target.info.st_size;
    const off_t newSize = static_cast<off_t>(bytes.size());
    const auto refuse = [&](const std::string& why, int error) {
        // The room reserved past the end is given back; the size and contents never changed.
        if (newSize > oldSize)
            ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, oldSize, newSize - oldSize);
        ::close(fd);
        FileResult refused = Failed(path, why, error);
        refused.error += ", fichier inchangé";
        return refused;
    };
    // A full disk is found here, before anything changed: the room past the old end is taken
    // now, so that the copy below cannot run out of it.
    if (newSize > 0 && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 && errno != EOPNOTSUPP)
        return refuse("place introuvable pour le nouveau contenu", errno);
    const std::string folder = FolderOf(target.file);
    std::string temporary;
    int error = 0;
    if (!WriteTemporary(folder, TemporaryPrefix(NameOf(target.file)), target, bytes, temporary,
                        error))
        return refuse("nouveau contenu impossible à écrire dans le dossier " + Escaped(folder),
                      error);
    bool ok = WriteAll(fd, bytes, 0) && ::ftruncate(fd, newSize) == 0 && ::fsync(fd) == 0;
    error = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        // Out of the way of the removal of dead saves' temporaries: it is the only whole copy.
        const std::string kept = temporary + ".complet";
        const std::string& whole =
            ::rename(temporary.c_str(), kept.c_str()) == 0 ? kept : temporary;
        FileResult failed = Failed(
            path,
            "réécrit en partie seulement ; le nouveau contenu entier est dans " + Escaped(whole),
            error ? error : EIO);
        failed.targetChanged = true;
        return failed;
    }
    ::unlink(temporary.c_str());
    RemoveLeftTemporaries(folder);
    return {true, {}};
}

FileResult ReplaceByRename(const std::string& path, const Target& target, std::string_view bytes) {
    const std::string folder = FolderOf(target.file);
    std::string temporary;
    int error = 0;
    if (!WriteTemporary(folder, TemporaryPrefix(NameOf(target.file)), target, bytes, temporary,
                        error))
        return Failed(path, "écriture impossible dans le dossier " + Escaped(folder), error);
    if (::rename(temporary.c_str(), target.file.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return Failed(path, "écriture impossible", error);
    }
    SyncFolder(folder);
    RemoveLeftTemporaries(folder);
    return {true, {}};
}

} // namespace

bool FollowLinks(const std::string& path, std::string& resolved, int& error) {
    resolved = path;
    for (int i = 0; i < kMostLinksFollowed; ++i) {
        struct stat info {};
        if (::lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(resolved.c_str(), target, sizeof target - 1);
        if (n < 0) {
            error = errno;
            return false;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        resolved = next.front() == '/' ? next : FolderOf(resolved) + "/" + next;
    }
    error = ELOOP;
    return false;
}

std::string TemporaryPrefix(const std::string& fileName) {
    return "." + fileName + ".ostrel-tmp-" + HostName() + "-";
}

FileResult CheckReplaceable(const std::string& path) {
    Target target;
    return Examine(path, target);
}

FileResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
    Target target;
    if (FileResult examined = Examine(path, target); !examined)
        return examined;
    if (target.exists && target.info.st_nlink > 1)
        return RewriteInPlace(path, target, bytes);
    return ReplaceByRename(path, target, bytes);
}

} // namespace ostrel::base
