#include "reader_setting.h"

#include "config_file.h"
#include "ini_text.h"

namespace ostrel::workflows {

bool ChooseConfiguredReader(const std::string& configPath, reader::ReaderChoice& choice,
                            std::string& error) {
    std::string content;
    if (!ReadConfigText(configPath, content, error))
        return false;
    const std::string name = ini::Value(content, "Lecteur", "Nom").value_or("");
    if (!name.empty())
        choice = reader::ReaderChoice{reader::ReaderChoice::Kind::Pcsc, name, {}};
    return true;
}

bool ParseConfiguredDialect(const std::string& text,
                            std::optional<reader::dialect::Dialect>& dialect, std::string& error) {
    if (!reader::ParseDialectChoice(text == "automatique" ? "auto" : text, dialect, error)) {
        error = "jeu de commandes inconnu « " + text +
                " » : automatique, memcard, storage ou iso attendu";
        return false;
    }
    return true;
}

} // namespace ostrel::workflows
