#pragma once

#include "journal/pg_connection.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A database of its own on the private PostgreSQL server that scripts/test.sh starts
// (scripts/pg_server.sh): the schema loaded as the package ships it, and station logins with
// passwords, given to the programs through a PGPASSFILE as to any libpq client. Dropped at
// the end. Without OSTREL_TEST_PG there is no server: ok() is false and why() says so.
class PgTestDatabase {
public:
    // folder: where the password file goes; the name is unique to this process and label.
    // schema: the file loaded, the package's by default.
    PgTestDatabase(const std::string& label, const std::string& folder,
                   const std::string& schema = OSTREL_SCHEMA_SQL)
        : admin_(Env("OSTREL_TEST_PG")),
          name_("ostrel_" + label + "_" + std::to_string(::getpid())) {
        if (admin_.empty()) {
            why_ = "OSTREL_TEST_PG is not set: no PostgreSQL server for this test "
                   "(scripts/test.sh starts one)";
            return;
        }
        passFile_ = folder + "/pgpass";
        std::ofstream(passFile_) << "";
        ::chmod(passFile_.c_str(), 0600);
        ::setenv("PGPASSFILE", passFile_.c_str(), 1);
        Drop();
        const std::string created = Psql(admin_, "-c 'CREATE DATABASE " + name_ + "'");
        const std::string loaded = Psql(adminUri(), "-1 -f '" + schema + "' -v ON_ERROR_STOP=1");
        why_ = created + loaded;
    }
    ~PgTestDatabase() {
        if (!admin_.empty())
            Drop();
    }
    PgTestDatabase(const PgTestDatabase&) = delete;
    PgTestDatabase& operator=(const PgTestDatabase&) = delete;

    bool ok() const { return !admin_.empty() && why_.empty(); }
    const std::string& why() const { return why_; }
    bool present() const { return !admin_.empty(); }

    // The superuser, who owns the schema.
    std::string adminUri() const { return WithDatabase(admin_); }

    // A login given ostrel_station, with the station limits as the administrator gives them,
    // its password in the password file (another one when wrongPassword); its address.
    std::string Station(const std::string& login, bool wrongPassword = false) {
        const std::string role = name_ + "_" + login;
        const std::string password = "pw-" + role;
        Psql(adminUri(), "-c \"CREATE ROLE " + role + " LOGIN PASSWORD '" + password +
                             "' IN ROLE ostrel_station\"");
        Psql(adminUri(), "-c 'SELECT ostrel.configure_station_logins()'");
        std::ofstream(passFile_, std::ios::app)
            << "*:*:*:" + role + ":" + password + (wrongPassword ? "-wrong" : "") + "\n";
        return StationUri(role);
    }

    // What psql says on its error output when running sql at uri; empty when it succeeded.
    static std::string Run(const std::string& uri, const std::string& sql) {
        return Psql(uri, "-c \"" + sql + "\"");
    }
    // The text of the first column of the first row of sql, run by the administrator.
    std::string Query(const std::string& sql) const {
        const std::string command = "psql -tAX '" + adminUri() + "' -c \"" + sql + "\"";
        std::string output;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, p))
                output += buffer;
            ::pclose(p);
        }
        while (!output.empty() && output.back() == '\n')
            output.pop_back();
        return output;
    }
    // The address of login over the socket, with no password for it in the file.
    std::string StationUri(const std::string& role) const {
        const std::string uri = WithDatabase(admin_);
        return "postgresql://" + role + uri.substr(uri.find('@'));
    }
    const std::string& name() const { return name_; }

    // The server stopped as a crash would stop it, and started again.
    static int StopImmediately() { return PgCtl("-m immediate -w stop"); }
    static int Start() {
        return PgCtl("-l " + Env("OSTREL_TEST_PG_DIR") + "/sock/server.log -w start");
    }

private:
    static std::string Env(const char* name) {
        const char* value = std::getenv(name);
        return value ? value : "";
    }
    static int PgCtl(const std::string& arguments) {
        const std::string user = Env("OSTREL_TEST_PG_USER");
        return std::system(("setpriv --reuid=" + user + " --regid=" + user + " --clear-groups " +
                            Env("OSTREL_TEST_PG_BIN") + "/pg_ctl -D " + Env("OSTREL_TEST_PG_DIR") +
                            "/data " + arguments + " >/dev/null")
                               .c_str());
    }
    // "postgresql://admin@/postgres?host=..." with another database.
    std::string WithDatabase(const std::string& uri) const {
        const auto slash = uri.find("@/") + 2;
        return uri.substr(0, slash) + name_ + uri.substr(uri.find('?'));
    }
    // psql's error output, empty when it succeeded.
    static std::string Psql(const std::string& uri, const std::string& arguments) {
        const std::string command = "psql -q -X '" + uri + "' " + arguments + " 2>&1 >/dev/null";
        std::string output;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, p))
                output += buffer;
            if (::pclose(p) != 0 && output.empty())
                output = "psql failed: " + command;
        }
        return output;
    }
    void Drop() { Psql(admin_, "-c 'DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)'"); }

    std::string admin_;
    std::string name_;
    std::string passFile_;
    std::string why_;
};
