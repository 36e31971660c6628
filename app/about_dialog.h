#pragma once

#include <string>

class QWidget;

namespace ostrel::app {

// What "À propos" tells of this run.
struct AboutFacts {
    std::string configFile;
    std::string journal; // "serveur ADDRESS" or "fichier PATH"
    std::string dataFolder;
};

// The text of "À propos": the program and its version, this run's files, the libraries and
// their licences.
std::string AboutText(const AboutFacts& facts);

// "À propos", modal.
void ShowAbout(QWidget* parent, const AboutFacts& facts);

// The text of the desktop program's manual page (the one installed with it, else the one built
// beside it), as man renders it; the program's own usage when there is none.
std::string ManualText();

// "Manuel", modal, its text in a scrolling view.
void ShowManual(QWidget* parent);

} // namespace ostrel::app
