#include "pcscd_control.h"

#include "vpcd_support.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

namespace pcscd_control {

namespace {

const char* PidFile() {
    return std::getenv("OSTREL_PCSCD_PIDFILE");
}

// Gone, or a zombie its parent has not reaped yet.
bool Gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    if (text.empty())
        return true;
    // The command name is in parentheses and may hold blanks: the state follows the last ')'.
    const auto close = text.rfind(')');
    return close != std::string::npos && text.size() > close + 2 && text[close + 2] == 'Z';
}

} // namespace

pid_t RunningPcscd() {
    const char* file = PidFile();
    if (!file)
        return -1;
    pid_t pid = -1;
    std::ifstream(file) >> pid;
    std::string name;
    std::ifstream("/proc/" + std::to_string(pid) + "/comm") >> name;
    return pid > 0 && name == "pcscd" ? pid : -1;
}

bool StopPcscd(pid_t pid) {
    if (::kill(pid, SIGTERM) != 0)
        return false;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;) {
        if (Gone(pid))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

pid_t StartPcscd() {
    // Left behind by an unclean stop, they would make the new pcscd refuse to start.
    std::error_code ec;
    std::filesystem::remove("/run/pcscd/pcscd.comm", ec);
    std::filesystem::remove("/run/pcscd/pcscd.pid", ec);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid(); // outlives the test, until the script stops it
        const char* log = std::getenv("PCSCD_LOG");
        const int out =
            ::open(log ? log : "/dev/null", O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execlp("pcscd", "pcscd", "-f", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0)
        return -1;
    if (const char* file = PidFile())
        std::ofstream(file) << pid << "\n";
    return vpcd_support::WaitForListening(ostrel::reader::vpcd::kDefaultVpcdPort, true) ? pid : -1;
}

} // namespace pcscd_control
