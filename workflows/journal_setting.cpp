#include "journal_setting.h"

#include "base/regular_file.h"
#include "ini_serial_store.h"
#include "ini_text.h"
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
    if (journal::IsServerAddress(optionText))
        setting.server = optionText;
    else if (!optionText.empty())
        setting.file = optionText;
    else
        setting.server = ini::Value(content, "Journal", "Server").value_or("");
    // The settings window's choice of a file of this station's own.
    if (optionText.empty() && setting.server.empty())
        setting.file = ini::Value(content, "Journal", "File").value_or("");
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
