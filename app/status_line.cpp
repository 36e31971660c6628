#include "status_line.h"

#include "journal/server_address_parts.h"
#include "window_title.h"

#include <cctype>
#include <string_view>

namespace ostrel::app {

std::string StationStatusText(const std::string& station, const std::string& server) {
    if (server.empty())
        return station + " — journal de ce poste";
    journal::ServerAddressParts parts;
    if (!journal::SplitAddress(server, parts))
        return station + " — serveur " + server; // a service name: it says where itself
    const std::string host =
        parts.host.empty() || parts.host.front() == '/' ? "ce poste" : parts.host;
    return station + " — serveur " + (parts.database.empty() ? parts.login : parts.database) + "@" +
           host;
}

std::string PendingOutcomesText(std::size_t count) {
    return count ? std::to_string(count) + " résultat(s) en attente d'envoi" : std::string();
}

std::string ReaderStatusLine(const reader::ReaderStatusSource* source) {
    if (!source)
        return "Lecteur simulé";
    const reader::ReaderStatus status = source->readerStatus();
    if (status.reader.empty())
        return "Lecteur PC/SC : aucun lecteur";
    // The problem names the reader first ("lecteur « X » : ..."): it begins the line.
    if (!status.problem.empty())
        return static_cast<char>(std::toupper(static_cast<unsigned char>(status.problem[0]))) +
               status.problem.substr(1);
    const std::string line = "Lecteur PC/SC « " + status.reader + " », jeu de commandes ";
    return status.dialect == "auto" ? line + "auto (trouvé à la première carte)"
                                    : line + status.dialect;
}

std::string ReaderStateText(const std::string& caption) {
    const std::string_view shown(caption);
    const struct {
        const char* suffix;
        const char* text;
    } states[] = {{kSuffixNoReader, "Non connecté"},
                  {kSuffixNoCard, "Connecté, pas de carte à l'intérieur"},
                  {kSuffixCardInside, "Carte à l'intérieur"}};
    for (const auto& state : states) {
        if (shown.ends_with(state.suffix))
            return state.text;
    }
    return "";
}

} // namespace ostrel::app
