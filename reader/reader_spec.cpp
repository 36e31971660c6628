#include "reader_spec.h"

namespace ostrel::reader {

bool ParseReaderSpec(const std::string& text, ReaderSpec& spec, std::string& error) {
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (kind == "sim") {
        spec.kind = ReaderSpec::Kind::Simulated;
    } else if (kind == "pcsc") {
        spec.kind = ReaderSpec::Kind::Pcsc;
    } else {
        error = "lecteur inconnu « " + text +
                " » : sim, sim:DOSSIER, sim:FICHIER, pcsc ou pcsc:NOM attendu";
        return false;
    }
    if (colon != std::string::npos && argument.empty()) {
        error = "lecteur « " + text + " » : il manque le nom après « : »";
        return false;
    }
    spec.argument = argument;
    return true;
}

} // namespace ostrel::reader
