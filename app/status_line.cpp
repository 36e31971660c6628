#include "status_line.h"

namespace ostrel::app {

std::string ReaderStatusLine(const reader::ReaderStatusSource* source) {
    if (!source)
        return "Lecteur simulé";
    const reader::ReaderStatus status = source->readerStatus();
    if (status.reader.empty())
        return "Lecteur PC/SC : aucun lecteur";
    if (!status.problem.empty())
        return "Lecteur PC/SC " + status.problem;
    const std::string line = "Lecteur PC/SC « " + status.reader + " », jeu de commandes ";
    return status.dialect == "auto" ? line + "auto (trouvé à la première carte)"
                                    : line + status.dialect;
}

} // namespace ostrel::app
