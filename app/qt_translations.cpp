#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ostrel::app {

QTranslator* InstallQtTranslations(QCoreApplication& application) {
    QLocale locale = QLocale::system();
    if (locale.language() != QLocale::French)
        locale = QLocale(QLocale::French, QLocale::France);
    QLocale::setDefault(locale);
    auto* translator = new QTranslator(&application);
    if (!translator->load(locale, "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace ostrel::app
