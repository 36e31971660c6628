#include "journal_setting.h"

#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "ini_serial_store.h"
#include "ini_text.h"
#include "journal/server_address.h"
#include "server_serial_store.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::workflows {

namespace {

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name)
        return "poste";
    return name;
}

} // namespace

bool ChooseJournal(const std::string& optionText, const std::string& configPath,
                   JournalSetting& setting, std::string& error) {
    setting = {};
    const std::string path = configPath.empty() ? DefaultConfigFile() : configPath;
    std::string content;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 || errno != ENOENT) {
        if (const base::FileResult read = base::ReadRegularFile(path, kConfigFileLimit, content);
            !read) {
            error = "configuration illisible : " + read.error;
            return false;
        }
    }
    setting.station = ini::Value(content, "Station", "Name").value_or("");
    if (setting.station.empty())
        setting.station = HostName();

    // [Journal] Server, when the configuration names one: a station of a site formats from the
    // site's series or not at all, so it is never set aside for a file.
    const ini::Lookup configured = ini::Find(content, "Journal", "Server");
    if (!configured.problem.empty()) {
        error = "configuration " + path + " : " + configured.problem;
        return false;
    }
    std::optional<journal::JournalLocation> server;
    if (configured.value) {
        server = journal::ReadJournalLocation(*configured.value);
        if (server->kind == journal::JournalLocation::Kind::File)
            server = journal::JournalLocation{journal::JournalLocation::Kind::Refused,
                                              {},
                                              "« " + base::Excerpt(*configured.value) +
                                                  " » n'est pas l'adresse d'un serveur"};
        if (server->kind == journal::JournalLocation::Kind::Refused) {
            error = "configuration " + path + ", [Journal] Server : " + server->reason;
            return false;
        }
    }
    if (optionText.empty()) {
        if (server)
            setting.server = server->text;
        return true;
    }
    const journal::JournalLocation given = journal::ReadJournalLocation(optionText);
    switch (given.kind) {
    case journal::JournalLocation::Kind::Refused:
        error = "--journal : " + given.reason;
        return false;
    case journal::JournalLocation::Kind::Server:
        setting.server = given.text;
        return true;
    case journal::JournalLocation::Kind::File:
        if (server) {
            error = "--journal " + base::Excerpt(given.text) + " : la configuration " + path +
                    " désigne le serveur du site ([Journal] Server) ; ce poste n'écrit pas dans "
                    "un fichier à sa place";
            return false;
        }
        setting.file = given.text;
        return true;
    }
    return true;
}

JournalPlace::JournalPlace(const JournalSetting& setting, const std::string& configFile) {
    if (!setting.server.empty()) {
        server_ = std::make_unique<journal::PgJournal>(setting.server);
        store_ = std::make_unique<ServerSerialStore>(*server_);
    } else {
        file_ = std::make_unique<journal::SqliteJournal>(setting.file);
        auto ini = std::make_unique<IniSerialStore>(configFile);
        ini_ = ini.get();
        store_ = std::move(ini);
    }
}

void JournalPlace::SetWaiting(base::Waiting* waiting) {
    if (server_)
        server_->SetWaiting(waiting);
    if (file_)
        file_->SetWaiting(waiting);
    if (ini_)
        ini_->SetWaiting(waiting);
}

journal::Journal& JournalPlace::journal() {
    if (server_)
        return *server_;
    return *file_;
}

} // namespace ostrel::workflows
