#pragma once

#include <string>

namespace ostrel::base {

// Outcome of a file operation. The error names the file, then what is wrong with it and the
// system's reason, in French: "carte.card : c'est un dossier, pas un fichier".
struct FileResult {
    bool ok = false;
    std::string error;

    explicit operator bool() const { return ok; }
};

} // namespace ostrel::base
