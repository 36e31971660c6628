#include "about_dialog.h"

#include "app_options.h"
#include "journal/library_versions.h"
#include "window_title.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QVBoxLayout>
#include <QtGlobal>

#include <filesystem>

#if __has_include(<PCSC/pcsclite.h>)
#include <PCSC/pcsclite.h>
#endif

namespace ostrel::app {

namespace {

std::string PcscLiteVersion() {
#ifdef PCSCLITE_VERSION_NUMBER
    return PCSCLITE_VERSION_NUMBER;
#else
    return "absent de cette version du programme";
#endif
}

// The manual page of ostrel-admin beside the installed program, else in the build tree.
std::string ManualPage() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    for (const fs::path& page : {program.parent_path() / "../share/man/man1/ostrel-admin.1.gz",
                                 fs::path(OSTREL_BUILT_MANUAL)}) {
        if (fs::is_regular_file(page, ec))
            return page.lexically_normal().string();
    }
    return {};
}

// man's output without the overstrikes it makes bold and underlined letters with.
std::string Plain(const QByteArray& rendered) {
    std::string text;
    for (const char c : rendered) {
        if (c == '\b') {
            if (!text.empty())
                text.pop_back();
        } else {
            text += c;
        }
    }
    return text;
}

} // namespace

std::string AboutText(const AboutFacts& facts) {
    return std::string(kWindowTitle) + "\n" + "Version " OSTREL_VERSION "\n\n" +
           "Configuration : " + facts.configFile + "\n" + "Journal : " + facts.journal + "\n" +
           "Dossier des données : " + facts.dataFolder + "\n\n" +
           "Bibliothèques et leurs licences :\n" + "Qt " + qVersion() + " — GNU LGPL version 3\n" +
           "pcsc-lite " + PcscLiteVersion() + " — licence BSD\n" + "SQLite " +
           journal::SqliteVersion() + " — domaine public\n" + "libpq (PostgreSQL) " +
           journal::LibpqVersion() + " — licence PostgreSQL\n";
}

void ShowAbout(QWidget* parent, const AboutFacts& facts) {
    QDialog dialog(parent);
    dialog.setObjectName("dlgAbout");
    dialog.setWindowTitle(QString::fromUtf8("À propos"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(QString::fromStdString(AboutText(facts)), &dialog);
    text->setObjectName("lblAbout");
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

std::string ManualText() {
    if (const std::string page = ManualPage(); !page.empty()) {
        QProcess man;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MANWIDTH", "80");
        environment.insert("MANPAGER", "cat");
        man.setProcessEnvironment(environment);
        man.start("man", {"-l", QString::fromStdString(page)});
        if (man.waitForFinished(10000) && man.exitCode() == 0) {
            const std::string text = Plain(man.readAllStandardOutput());
            if (!text.empty())
                return text;
        }
    }
    return AdminUsage();
}

void ShowManual(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName("dlgManual");
    dialog.setWindowTitle(QString::fromUtf8("Manuel"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QPlainTextEdit(QString::fromStdString(ManualText()), &dialog);
    text->setObjectName("txtManual");
    text->setReadOnly(true);
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    text->setFont(fixed);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, 560);
    dialog.exec();
}

} // namespace ostrel::app
