#pragma once

class QCoreApplication;
class QTranslator;

namespace ostrel::app {

// Qt's own texts (the file dialogs, the text fields' context menu) in French, the program's
// language: in the system locale's French when it is a French one (Belgian, Canadian, Swiss),
// else in the French of France. The locale also becomes the default, for the calendars. The
// translator installed, owned by application; null when the translations are not installed
// (Debian's qt6-translations-l10n): Qt's texts then stay English.
QTranslator* InstallQtTranslations(QCoreApplication& application);

} // namespace ostrel::app
