#include "random_source.h"

#include <cerrno>
#include <cstdio>
#include <sys/random.h>

namespace ostrel::des {

namespace {

bool fillFromDevice(std::uint8_t* bytes, std::size_t count) {
    std::FILE* device = std::fopen("/dev/urandom", "rb");
    if (device == nullptr) {
        return false;
    }
    const bool complete = std::fread(bytes, 1, count, device) == count;
    std::fclose(device);
    return complete;
}

} // namespace

bool FillRandom(std::uint8_t* bytes, std::size_t count) {
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes + filled, count - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Kernels without getrandom still have the device.
            return errno == ENOSYS && fillFromDevice(bytes + filled, count - filled);
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace ostrel::des
