#include "station_settings.h"

#include "ini_text.h"

#include <filesystem>
#include <unistd.h>

namespace ostrel::workflows {

namespace {

bool SameParts(const journal::ServerAddressParts& a, const journal::ServerAddressParts& b) {
    return a.host == b.host && a.port == b.port && a.database == b.database && a.login == b.login &&
           a.sslMode == b.sslMode;
}

bool Digits(const std::string& text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// A journal file this user may create or write: an existing file writable, or a name in a
// folder that exists and may be written.
std::string FileProblem(const std::string& file) {
    if (file.empty())
        return {};
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(file);
    if (fs::exists(path, ec)) {
        if (!fs::is_regular_file(path, ec))
            return "ce n'est pas un fichier";
        return ::access(file.c_str(), W_OK) == 0 ? std::string()
                                                 : "fichier en lecture seule pour vous";
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec))
        return "dossier " + folder.string() + " introuvable";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "dossier " + folder.string() + " où vous ne pouvez pas écrire";
    return {};
}

} // namespace

bool LoadStationSettings(const std::string& configPath, StationSettings& settings,
                         std::string& error) {
    settings = {};
    std::string content;
    if (!ReadConfigText(configPath, content, error))
        return false;
    const auto value = [&content](const char* section, const char* key) {
        return ini::Value(content, section, key);
    };
    settings.readerName = value("Lecteur", "Nom").value_or("");
    const std::string dialect =
        value("Lecteur", "Jeu").value_or(value("Reader", "Dialect").value_or(""));
    if (!dialect.empty())
        settings.dialect = dialect == "auto" ? "automatique" : dialect;
    settings.serverText = value("Journal", "Server").value_or("");
    settings.useServer = !settings.serverText.empty();
    if (settings.useServer && journal::SplitAddress(settings.serverText, settings.server))
        settings.serverAsRead = settings.server;
    settings.journalFile = value("Journal", "File").value_or("");
    settings.station = value("Station", "Name").value_or("");
    settings.waitSeconds = value("Journal", "Attente").value_or("30");
    return true;
}

SettingsProblems CheckStationSettings(const StationSettings& settings) {
    SettingsProblems problems;
    const std::string& port = settings.server.port;
    if (!port.empty() && (!Digits(port, 5) || std::stol(port) < 1 || std::stol(port) > 65535))
        problems.port = "port : un nombre de 1 à 65535 est attendu";
    if (!settings.useServer) {
        if (std::string why = FileProblem(settings.journalFile); !why.empty())
            problems.journalFile = "fichier du journal : " + why;
    } else if (settings.server.host.empty() || settings.server.database.empty()) {
        problems.server = "serveur : l'hôte et la base sont attendus";
    }
    if (!Digits(settings.waitSeconds, 4) || std::stol(settings.waitSeconds) > 3600)
        problems.wait = "attente : un nombre de secondes de 0 à 3600 est attendu";
    return problems;
}

std::string ServerAddress(const StationSettings& settings) {
    if (!settings.serverText.empty() && SameParts(settings.server, settings.serverAsRead))
        return settings.serverText;
    return journal::ComposeAddress(settings.server);
}

std::vector<ConfigValue> StationConfigValues(const StationSettings& settings,
                                             const StationSettings& loaded) {
    const auto server = [](const StationSettings& s) {
        return s.useServer ? ServerAddress(s) : std::string();
    };
    const auto file = [](const StationSettings& s) {
        return s.useServer ? std::string() : s.journalFile;
    };
    const ConfigValue now[] = {
        {"Lecteur", "Nom", settings.readerName}, {"Lecteur", "Jeu", settings.dialect},
        {"Journal", "Server", server(settings)}, {"Journal", "File", file(settings)},
        {"Station", "Name", settings.station},   {"Journal", "Attente", settings.waitSeconds},
    };
    const std::string before[] = {loaded.readerName, loaded.dialect, server(loaded),
                                  file(loaded),      loaded.station, loaded.waitSeconds};
    std::vector<ConfigValue> changed;
    for (std::size_t i = 0; i < std::size(now); ++i) {
        if (now[i].value != before[i])
            changed.push_back(now[i]);
    }
    return changed;
}

} // namespace ostrel::workflows
