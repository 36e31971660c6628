#include "trace_file.h"

#include "regular_file.h"
#include "text_excerpt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::base {

namespace {

FileResult Refused(const std::string& path, const std::string& why) {
    return {false, "fichier de trace " + Escaped(path) + " : " + why};
}

bool SameName(const std::string& a, const std::string& b) {
    std::error_code ec;
    const auto first = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ec), ec);
    if (ec)
        return false;
    const auto second = std::filesystem::weakly_canonical(std::filesystem::absolute(b, ec), ec);
    return !ec && first == second;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The standard error under one of its names (/dev/stderr, /proc/self/fd/2, or the file it was
// sent to): written through the same open file, whatever it is.
bool IsStandardError(const std::string& path) {
    struct stat named {};
    struct stat standardError {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(STDERR_FILENO, &standardError) == 0 &&
           SameFile(named, standardError);
}

// Why an existing file is not taken as a trace; empty when it may be.
std::string ExistingFileProblem(const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return NotRegularText(info.st_mode);
    if (info.st_uid != ::geteuid())
        return "ce fichier appartient à un autre utilisateur";
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("ce fichier est ouvert à d'autres utilisateurs (mode ") + mode +
               ") et la trace montre le contenu des cartes";
    }
    return {};
}

std::string InUseProblem(const std::string& path, const struct stat* opened,
                         const std::vector<FileInUse>& inUse) {
    for (const FileInUse& used : inUse) {
        struct stat info {};
        if (SameName(path, used.path) ||
            (opened && ::stat(used.path.c_str(), &info) == 0 && SameFile(*opened, info)))
            return "c'est " + used.what + " (" + Escaped(used.path) + "), pas une trace";
    }
    return {};
}

// An existing file is written to only when it holds a trace already: its first line starts
// with the time in milliseconds ("     0.001 ms  "). A key, a document or a card file named by
// mistake is never added to or emptied.
bool HoldsATrace(const std::string& path, const struct stat& opened) {
    if (opened.st_size == 0)
        return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    char head[32] = {};
    const ssize_t n =
        ::fstat(fd, &info) == 0 && SameFile(info, opened) ? ::pread(fd, head, sizeof head, 0) : -1;
    ::close(fd);
    if (n <= 0)
        return false;
    const std::string_view text(head, static_cast<std::size_t>(n));
    std::size_t at = text.find_first_not_of(' ');
    const std::size_t digits = text.find_first_not_of("0123456789", at);
    if (at == std::string_view::npos || digits == at || digits == std::string_view::npos ||
        text[digits] != '.')
        return false;
    at = digits + 1;
    return text.size() >= at + 7 &&
           text.substr(at, 3).find_first_not_of("0123456789") == std::string_view::npos &&
           text.substr(at + 3, 4) == " ms ";
}

// Why path could not be opened, looked at without following it.
std::string OpenProblem(const std::string& path, int error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode))
            return "c'est un lien symbolique : donnez le fichier lui-même";
        if (!S_ISREG(info.st_mode))
            return NotRegularText(info.st_mode);
    }
    return std::string("ouverture impossible (") + std::strerror(error) + ")";
}

} // namespace

FileResult OpenTraceFile(const std::string& path, bool overwrite,
                         const std::vector<FileInUse>& inUse, int& fd) {
    fd = -1;
    if (std::string problem = InUseProblem(path, nullptr, inUse); !problem.empty())
        return Refused(path, problem);
    if (IsStandardError(path)) {
        fd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return Refused(path, std::string("sortie d'erreur inutilisable (") +
                                     std::strerror(errno) + ")");
        return {true, {}};
    }
    // Never blocks: opening a FIFO for writing would wait for a reader.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool created = true;
    fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0)
        return Refused(path, OpenProblem(path, errno));
    struct stat info {};
    std::string problem;
    if (::fstat(fd, &info) != 0)
        problem = std::string("fichier inaccessible (") + std::strerror(errno) + ")";
    else
        problem = InUseProblem(path, &info, inUse);
    if (problem.empty() && !created)
        problem = ExistingFileProblem(info);
    if (problem.empty() && !created && !HoldsATrace(path, info))
        problem = "ce fichier existe et n'est pas une trace : donnez un autre nom";
    if (problem.empty() && overwrite && !created && ::ftruncate(fd, 0) != 0)
        problem = std::string("fichier impossible à vider (") + std::strerror(errno) + ")";
    if (problem.empty() && ::fcntl(fd, F_SETFL, O_APPEND) != 0)
        problem = std::string("ouverture impossible (") + std::strerror(errno) + ")";
    if (!problem.empty()) {
        ::close(fd);
        fd = -1;
        if (created)
            ::unlink(path.c_str());
        return Refused(path, problem);
    }
    return {true, {}};
}

} // namespace ostrel::base
