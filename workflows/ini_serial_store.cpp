#include "ini_serial_store.h"

#include "serial_numbers.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace ostrel::workflows {

namespace {

constexpr const char* kKey = "Format/NextSerial";

std::string StatusText(QSettings::Status status) {
    return status == QSettings::FormatError ? "fichier mal formé" : "accès refusé";
}

} // namespace

IniSerialStore::IniSerialStore(std::string path)
    : path_(path.empty() ? DefaultConfigFile() : std::move(path)) {}

bool IniSerialStore::Read(std::string& text, std::string& error) {
    const QString file = QString::fromStdString(path_);
    if (QFileInfo(file).isDir()) {
        error = "configuration " + path_ + " illisible : c'est un dossier";
        return false;
    }
    const QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        error = "configuration " + path_ + " illisible : " + StatusText(settings.status());
        return false;
    }
    const QVariant value = settings.value(kKey, QString(kDefaultNextSerial));
    // A value with commas is read back as a list; the operator wrote it as one text.
    text = value.toStringList().join(',').toStdString();
    return true;
}

bool IniSerialStore::Save(std::int64_t nextSerial, std::string& error) {
    QSettings settings(QString::fromStdString(path_), QSettings::IniFormat);
    settings.setValue(kKey, QString::number(nextSerial));
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        error =
            "numéro suivant non enregistré dans " + path_ + " : " + StatusText(settings.status());
        return false;
    }
    return true;
}

std::string DefaultConfigFile() {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, "ostrel-chipcard",
                             "ostrel-chipcard");
    return settings.fileName().toStdString();
}

} // namespace ostrel::workflows
