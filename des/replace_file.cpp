#include "replace_file.h"

#include "random_source.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::des {

namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a file that did not exist, with a name no other writer is using.
int createTemporary(const fs::path& target, fs::path& temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::uint8_t random[6];
        if (!FillRandom(random, sizeof random)) {
            return -1;
        }
        std::string name(1, '.');
        name.append(target.filename().string()).push_back('.');
        for (const std::uint8_t byte : random) {
            name.push_back("0123456789abcdef"[byte >> 4]);
            name.push_back("0123456789abcdef"[byte & 0x0F]);
        }
        name.append(".tmp");
        temporary = target.parent_path() / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool ReplaceFileContents(const fs::path& target, std::span<const std::uint8_t> bytes) {
    // Replace what a symbolic link points to, not the link.
    std::error_code ec;
    struct stat link {};
    const bool isLink = ::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    const fs::path resolved = fs::absolute(isLink ? fs::weakly_canonical(target, ec) : target, ec);
    if (ec) {
        return false;
    }

    fs::path temporary;
    const int fd = createTemporary(resolved, temporary);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, bytes);
    struct stat existing {};
    if (ok && ::stat(resolved.c_str(), &existing) == 0) {
        ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), resolved.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(resolved.parent_path());
    return true;
}

} // namespace ostrel::des
