#include "regular_file.h"

#include "text_excerpt.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::base {

namespace {

FileResult Refused(const std::string& path, const std::string& why) {
    return {false, Escaped(path) + " : " + why};
}

std::string OpenFailureText(int error) {
    switch (error) {
    case ENOENT:
        return "fichier introuvable";
    case EACCES:
    case EPERM:
        return std::string("lecture refusée (") + std::strerror(error) + ")";
    default:
        return std::string("lecture impossible (") + std::strerror(error) + ")";
    }
}

FileResult CheckRegular(const std::string& path, const struct stat& info, std::size_t limit) {
    if (!S_ISREG(info.st_mode))
        return Refused(path, NotRegularText(info.st_mode));
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        return Refused(path, "fichier trop grand (" +
                                 SizeText(static_cast<std::size_t>(info.st_size)) + ", au plus " +
                                 SizeText(limit) + ")");
    }
    return {true, {}};
}

} // namespace

std::string NotRegularText(mode_t mode) {
    if (S_ISDIR(mode))
        return "c'est un dossier, pas un fichier";
    if (S_ISFIFO(mode))
        return "c'est un tube nommé (FIFO), pas un fichier";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "c'est un périphérique, pas un fichier";
    if (S_ISSOCK(mode))
        return "c'est une socket, pas un fichier";
    return "ce n'est pas un fichier ordinaire";
}

std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kKibi = 1024;
    if (bytes >= kKibi * kKibi && bytes % (kKibi * kKibi) == 0)
        return std::to_string(bytes / (kKibi * kKibi)) + " Mio";
    if (bytes >= kKibi && bytes % kKibi == 0)
        return std::to_string(bytes / kKibi) + " Kio";
    return std::to_string(bytes) + " octets";
}

FileResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& content) {
    // Looked at before it is opened: opening a FIFO for reading waits for a writer.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Refused(path, OpenFailureText(errno));
    if (FileResult checked = CheckRegular(path, info, limit); !checked)
        return checked;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Refused(path, OpenFailureText(errno));
    // The name may have been replaced meanwhile: what counts is what was opened.
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return Refused(path, OpenFailureText(error));
    }
    if (FileResult checked = CheckRegular(path, info, limit); !checked) {
        ::close(fd);
        return checked;
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t used = 0;
    for (;;) {
        // One byte more than the limit tells a file that grew past it while being read.
        if (used == bytes.size())
            bytes.resize(std::min(limit + 1, used + 4096));
        if (used == bytes.size())
            break;
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return Refused(path, std::string("erreur de lecture (") + std::strerror(error) + ")");
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (used > limit)
        return Refused(path, "fichier trop grand (plus de " + SizeText(limit) + ")");
    bytes.resize(used);
    content = std::move(bytes);
    return {true, {}};
}

} // namespace ostrel::base
