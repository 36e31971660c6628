#pragma once

#include "pg_test_database.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A private PgBouncer (Debian's pgbouncer) in front of a database of the private test server,
// for the tests and the benchmarks.

inline std::string FoundProgram(const std::string& name) {
    for (const char* folder : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"}) {
        const std::string path = std::string(folder) + "/" + name;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

// The value of key in a libpq URI's query ("...?host=/x&port=5432").
inline std::string UriValue(const std::string& uri, const std::string& key) {
    const auto at = uri.find(key + "=", uri.find('?'));
    if (at == std::string::npos)
        return {};
    const auto start = at + key.size() + 1;
    return uri.substr(start, uri.find('&', start) - start);
}

// A private PgBouncer on a socket in folder, in front of the test server's database, pooling
// by transaction with at most poolSize server connections per login; stopped with the object.
class PrivateBouncer {
public:
    PrivateBouncer(const std::string& program, const std::string& folder, const PgTestDatabase& db,
                   const std::vector<std::string>& logins, int poolSize, int maxClients = 1000)
        : folder_(folder) {
        std::filesystem::create_directories(folder);
        const std::string admin = std::getenv("OSTREL_TEST_PG");
        std::ofstream(folder + "/pgbouncer.ini")
            << "[databases]\n"
            << db.name() << " = host=" << UriValue(admin, "host")
            << " port=" << UriValue(admin, "port") << " dbname=" << db.name() << "\n"
            << "[pgbouncer]\nlisten_addr =\nlisten_port = " << kPort << "\n"
            << "unix_socket_dir = " << folder << "\nauth_type = trust\n"
            << "auth_file = " << folder << "/users.txt\npool_mode = transaction\n"
            << "default_pool_size = " << poolSize << "\nmax_client_conn = " << maxClients << "\n"
            << "logfile = " << folder << "/pgbouncer.log\n";
        // The server asks each login's password of the bouncer.
        std::ofstream users(folder + "/users.txt");
        for (const std::string& login : logins)
            users << '"' << login << "\" \"pw-" << login << "\"\n";
        users.close();
        // It refuses to run as root.
        std::filesystem::permissions(std::filesystem::path(folder).parent_path(),
                                     std::filesystem::perms::owner_all |
                                         std::filesystem::perms::others_exec);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            (void)::chown(entry.path().c_str(), 65534, 65534);
        (void)::chown(folder.c_str(), 65534, 65534);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Its log goes to its file only.
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, 1);
            ::dup2(quiet, 2);
            ::execl("/usr/bin/setpriv", "setpriv", "--reuid=65534", "--regid=65534",
                    "--clear-groups", program.c_str(), (folder + "/pgbouncer.ini").c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const std::string socket = folder + "/.s.PGSQL." + std::to_string(kPort);
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~PrivateBouncer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    PrivateBouncer(const PrivateBouncer&) = delete;
    PrivateBouncer& operator=(const PrivateBouncer&) = delete;

    bool running() const {
        return pid_ > 0 && std::filesystem::exists(folder_ + "/.s.PGSQL." + std::to_string(kPort));
    }
    std::string Address(const std::string& login, const std::string& database) const {
        return "postgresql://" + login + "@/" + database + "?host=" + folder_ +
               "&port=" + std::to_string(kPort);
    }
    std::string log() const {
        std::ifstream in(folder_ + "/pgbouncer.log");
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    static constexpr int kPort = 6432;
    std::string folder_;
    pid_t pid_ = -1;
};
