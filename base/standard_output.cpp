#include "standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace ostrel::base {

bool CloseStandardOutput(std::string& error) {
    // std::cout goes through stdio's stdout, which keeps the error of a failed write. The
    // system's reason is known when the failure shows here; a write that failed earlier, in
    // the middle of a command, has left no reason behind, and none is made up.
    bool lost = false;
    int reason = 0;
    const auto failed = [&] {
        if (!lost)
            reason = errno;
        lost = true;
    };
    errno = 0;
    if (!std::cout.flush())
        failed();
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        failed();
    errno = 0;
    if (std::fclose(stdout) != 0)
        failed();
    if (!lost)
        return true;
    error = "écriture de la sortie standard impossible";
    if (reason != 0)
        error += std::string(" (") + std::strerror(reason) + ")";
    return false;
}

} // namespace ostrel::base
