#include "lock_holder.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ostrel::base {

namespace {

std::string ProgramName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

std::string LockHolderText(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:123456 0 EOF"; a waiting request starts "->".
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, device;
        long pid = 0;
        fields >> number >> kind;
        if (kind == "->")
            continue;
        fields >> mode >> access >> pid >> device;
        // The device is printed with two digits at least: compare the numbers, not the text.
        unsigned major_ = 0, minor_ = 0;
        unsigned long inode = 0;
        char colon1 = 0, colon2 = 0;
        std::istringstream dev(device);
        dev >> std::hex >> major_ >> colon1 >> minor_ >> colon2 >> std::dec >> inode;
        if (!dev || major_ != major(info.st_dev) || minor_ != minor(info.st_dev) ||
            inode != info.st_ino || pid == ::getpid() || pid <= 0)
            continue;
        const std::string name = ProgramName(pid);
        return "le processus " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
    }
    return {};
}

} // namespace ostrel::base
