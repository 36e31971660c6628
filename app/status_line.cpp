#include "status_line.h"

#include "window_title.h"

#include <cctype>
#include <string_view>

namespace ostrel::app {

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
