#pragma once

#include <string>

namespace ostrel::base {

// Outcome of a file operation. The error names the file, then what is wrong with it and the
// system's reason, in French: "carte.card : c'est un dossier, pas un fichier".
struct FileResult {
    bool ok = false;
    std::string error;
    // A failure that left the target changed after all (written in part): the error says where
    // the whole new contents are. A caller must never report such a failure as "nothing
    // changed".
    bool targetChanged = false;

    explicit operator bool() const { return ok; }
};

} // namespace ostrel::base
