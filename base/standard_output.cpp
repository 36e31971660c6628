#include "standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace ostrel::base {

bool CloseStandardOutput(std::string& error) {
    // std::cout goes through stdio's stdout, which keeps the error of a failed write; the
    // reason is the one of the first failure seen here.
    int reason = 0;
    errno = 0;
    std::cout.flush();
    if (!std::cout)
        reason = errno ? errno : EIO;
    errno = 0;
    if (std::fflush(stdout) != 0 && reason == 0)
        reason = errno ? errno : EIO;
    if (std::ferror(stdout) && reason == 0)
        reason = EIO;
    errno = 0;
    if (std::fclose(stdout) != 0 && reason == 0)
        reason = errno ? errno : EIO;
    if (reason == 0)
        return true;
    error =
        std::string("écriture de la sortie standard impossible (") + std::strerror(reason) + ")";
    return false;
}

} // namespace ostrel::base
