#include "reader_dialect_setting.h"

#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "ini_serial_store.h"
#include "ini_text.h"
#include "reader_setting.h"

#include <cerrno>
#include <sys/stat.h>

namespace ostrel::workflows {

bool ChooseDialect(const std::string& optionText, const std::string& configPath,
                   reader::ReaderChoice& choice, std::string& error) {
    auto& dialect = choice.dialect;
    dialect.reset();
    if (!optionText.empty()) {
        if (reader::ParseDialectChoice(optionText, dialect, error))
            return true;
        error = "--dialect : " + error;
        return false;
    }
    if (choice.kind != reader::ReaderChoice::Kind::Pcsc)
        return true;
    const std::string path = configPath.empty() ? DefaultConfigFile() : configPath;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return true; // no configuration yet: the reader finds its command set
    std::string content;
    if (const base::FileResult read = base::ReadRegularFile(path, kConfigFileLimit, content);
        !read) {
        error = "configuration illisible : " + read.error;
        return false;
    }
    // The settings window writes [Lecteur] Jeu; [Reader] Dialect is the older key.
    if (const std::string jeu = ini::Value(content, "Lecteur", "Jeu").value_or(""); !jeu.empty()) {
        if (ParseConfiguredDialect(jeu, dialect, error))
            return true;
        error = "configuration " + base::Escaped(path) + ", [Lecteur] Jeu : " + error;
        return false;
    }
    const std::string text = ini::Value(content, "Reader", "Dialect").value_or("");
    if (text.empty() || reader::ParseDialectChoice(text, dialect, error))
        return true;
    error = "configuration " + base::Escaped(path) + ", [Reader] Dialect : " + error;
    return false;
}

} // namespace ostrel::workflows
