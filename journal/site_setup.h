#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Setting up a site's server from a superuser's address: the database, the schema, the series,
// the administrator's and the stations' logins. Each step looks first and changes only what is
// missing, so that a second run changes nothing.
namespace ostrel::journal {

struct SiteInitRequest {
    std::string address; // a superuser's, naming the site's database
    std::int64_t next = 0;
    std::string schemaFile;
    std::string adminLogin;    // empty: no administrator login
    std::string adminPassword; // empty: one is generated
};

struct SiteInitReport {
    std::string database;
    bool databaseCreated = false;
    bool schemaLoaded = false;
    std::string schemaVersion; // as the server holds it afterwards
    bool seriesStarted = false;
    std::int64_t nextSerial = 0;
    bool adminCreated = false;
    bool adminGranted = false;     // an existing login given the administrator's role
    std::string generatedPassword; // shown once
    std::vector<std::string> hbaLines;

    bool changedAnything() const {
        return databaseCreated || schemaLoaded || seriesStarted || adminCreated || adminGranted;
    }
};

bool InitSite(const SiteInitRequest& request, SiteInitReport& report, std::string& error);

struct StationRequest {
    std::string address; // a superuser's or an administrator's, naming the site's database
    std::string login;
    std::string password; // empty: one is generated
};

struct StationReport {
    bool created = false;
    bool granted = false; // an existing login given the station's role
    std::string password; // the one set now; empty for a login that was there
};

bool AddStation(const StationRequest& request, StationReport& report, std::string& error);

// A password of 20 letters and digits from the system's random source.
std::string GeneratePassword();

// The schema the package installs beside the program (<prefix>/share/ostrel-chipcard/
// postgresql/schema.sql), else the one of the source tree the program was built from.
std::filesystem::path ShippedSchemaFile(const std::filesystem::path& executable);

// The statements of a schema file written for psql: the files it includes ("\i FILE", "\ir
// FILE", both taken beside the including file) put in their place, psql's other commands
// (lines starting with a backslash) left out. False with a French reason for a file that
// cannot be read or includes itself.
bool SchemaStatements(const std::string& file, std::string& statements, std::string& error);

} // namespace ostrel::journal
