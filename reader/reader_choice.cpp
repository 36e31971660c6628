#include "reader_choice.h"

#include "base/text_excerpt.h"

namespace ostrel::reader {

std::string ReaderChoiceText(const ReaderChoice& choice) {
    const std::string kind = choice.kind == ReaderChoice::Kind::Simulated ? "sim" : "pcsc";
    return choice.argument.empty() ? kind : kind + ":" + choice.argument;
}

bool ParseReaderChoice(const std::string& text, ReaderChoice& choice, std::string& error) {
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (kind == "sim") {
        choice.kind = ReaderChoice::Kind::Simulated;
    } else if (kind == "pcsc") {
        choice.kind = ReaderChoice::Kind::Pcsc;
    } else {
        error = "lecteur inconnu « " + base::Excerpt(text) +
                " » : sim, sim:DOSSIER, sim:FICHIER, pcsc ou pcsc:NOM attendu";
        return false;
    }
    if (colon != std::string::npos && argument.empty()) {
        error = "lecteur « " + base::Excerpt(text) + " » : il manque le nom après « : »";
        return false;
    }
    choice.argument = argument;
    return true;
}

bool ParseDialectChoice(const std::string& text, std::optional<dialect::Dialect>& dialect,
                        std::string& error) {
    if (text == "auto") {
        dialect.reset();
        return true;
    }
    dialect = dialect::DialectNamed(text);
    if (!dialect)
        error = "jeu de commandes inconnu « " + base::Excerpt(text) +
                " » : auto, memcard, storage ou iso attendu";
    return dialect.has_value();
}

} // namespace ostrel::reader
