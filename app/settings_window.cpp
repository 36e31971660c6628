#include "settings_window.h"

#include "base/secret.h"
#include "journal/pgpass_file.h"
#include "workflows/config_file.h"
#include "workflows/ini_serial_store.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace ostrel::app {

namespace {

constexpr int kPollMilliseconds = 30;
constexpr int kReaderRefreshMilliseconds = 2000;
// The reader in use when the program runs on the simulated one: it has no PC/SC name.
const QString kSimulatedData = QStringLiteral("\x01sim");

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Std(const QLineEdit* field) {
    return field->text().trimmed().toStdString();
}

QLabel* ProblemLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setStyleSheet("color: #b00000");
    label->setWordWrap(true);
    label->hide();
    return label;
}

void ShowProblem(QLabel* label, const std::string& problem) {
    label->setText(Text(problem));
    label->setVisible(!problem.empty());
}

QString Joined(const std::vector<std::string>& lines) {
    QStringList list;
    for (const std::string& line : lines)
        list << Text(line);
    return list.join('\n');
}

} // namespace

SettingsWindow::SettingsWindow(SettingsContext context, QWidget* parent)
    : QWidget(parent), context_(std::move(context)), poll_(new QTimer(this)),
      readerRefresh_(new QTimer(this)) {
    setObjectName("frmSettings");
    setWindowTitle(QString::fromUtf8("Réglages du poste"));
    askPassword = [this](const QString& who) { return AskPassword(this, who); };
    build();
    std::string error;
    if (!workflows::LoadStationSettings(context_.configFile, loaded_, error)) {
        lblResult_->setText(Text(error));
        cmdSave_->setEnabled(false); // a file not read whole is not written over
    }
    showSettings(loaded_);
    refreshReaders();
    checkFields();
    poll_->setInterval(kPollMilliseconds);
    connect(poll_, &QTimer::timeout, this, [this] {
        task_.Poll();
        if (!task_.pending())
            poll_->stop();
    });
    readerRefresh_->setInterval(kReaderRefreshMilliseconds);
    connect(readerRefresh_, &QTimer::timeout, this, &SettingsWindow::refreshReaders);
    readerRefresh_->start();
}

SettingsWindow::~SettingsWindow() {
    task_.Drop();
    if (answer_)
        base::ClearSecret(answer_->password);
}

void SettingsWindow::build() {
    auto* layout = new QVBoxLayout(this);
    const auto line = [this](const char* name) {
        auto* field = new QLineEdit(this);
        field->setObjectName(name);
        connect(field, &QLineEdit::textChanged, this, &SettingsWindow::checkFields);
        return field;
    };

    auto* readerBox = new QGroupBox(QString::fromUtf8("Lecteur"), this);
    auto* readerForm = new QFormLayout(readerBox);
    cboReader_ = new QComboBox(readerBox);
    cboReader_->setObjectName("cboReader");
    readerForm->addRow(QString::fromUtf8("Lecte&ur :"), cboReader_);
    cboDialect_ = new QComboBox(readerBox);
    cboDialect_->setObjectName("cboDialect");
    for (const char* name : workflows::kDialectNames)
        cboDialect_->addItem(QString::fromUtf8(name));
    readerForm->addRow(QString::fromUtf8("Jeu de co&mmandes :"), cboDialect_);
    // The reader and the station side by side, the journal below: the window fits the main
    // window's area with the report of "Essayer" under it.
    auto* top = new QHBoxLayout;
    top->addWidget(readerBox, 3);
    layout->addLayout(top);

    auto* journalBox = new QGroupBox(QString::fromUtf8("Journal"), this);
    auto* journalForm = new QFormLayout(journalBox);
    optFile_ = new QRadioButton(QString::fromUtf8("&Ce poste (fichier)"), journalBox);
    optFile_->setObjectName("optFile");
    txtJournalFile_ = line("txtJournalFile");
    txtJournalFile_->setPlaceholderText(QString::fromUtf8("celui de l'utilisateur"));
    journalForm->addRow(optFile_, txtJournalFile_);
    lblFileProblem_ = ProblemLabel("lblFileProblem", journalBox);
    journalForm->addRow(lblFileProblem_);
    optServer_ = new QRadioButton(QString::fromUtf8("Ser&veur du site"), journalBox);
    optServer_->setObjectName("optServer");
    journalForm->addRow(optServer_);
    txtHost_ = line("txtHost");
    journalForm->addRow(QString::fromUtf8("&Hôte :"), txtHost_);
    txtPort_ = line("txtPort");
    txtPort_->setPlaceholderText("5432");
    journalForm->addRow(QString::fromUtf8("Port :"), txtPort_);
    lblPortProblem_ = ProblemLabel("lblPortProblem", journalBox);
    journalForm->addRow(lblPortProblem_);
    txtDatabase_ = line("txtDatabase");
    journalForm->addRow(QString::fromUtf8("&Base :"), txtDatabase_);
    txtLogin_ = line("txtLogin");
    journalForm->addRow(QString::fromUtf8("Comp&te :"), txtLogin_);
    cboSslMode_ = new QComboBox(journalBox);
    cboSslMode_->setObjectName("cboSslMode");
    for (const char* mode : workflows::kSslModes)
        cboSslMode_->addItem(*mode ? QString::fromUtf8(mode) : QString::fromUtf8("(par défaut)"),
                             QString::fromUtf8(mode));
    journalForm->addRow(QString::fromUtf8("TL&S :"), cboSslMode_);
    lblServerProblem_ = ProblemLabel("lblServerProblem", journalBox);
    journalForm->addRow(lblServerProblem_);
    connect(optFile_, &QRadioButton::toggled, this, &SettingsWindow::checkFields);
    layout->addWidget(journalBox);

    auto* stationBox = new QGroupBox(QString::fromUtf8("Poste"), this);
    stationBox->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    readerBox->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* stationForm = new QFormLayout(stationBox);
    txtStation_ = line("txtStation");
    stationForm->addRow(QString::fromUtf8("&Nom du poste :"), txtStation_);
    txtWait_ = line("txtWait");
    stationForm->addRow(QString::fromUtf8("Attente (secon&des) :"), txtWait_);
    txtWait_->setToolTip(QString::fromUtf8("de 0 à 3600"));
    lblWaitProblem_ = ProblemLabel("lblWaitProblem", stationBox);
    stationForm->addRow(lblWaitProblem_);
    top->addWidget(stationBox, 2);

    lblResult_ = new QLabel(this);
    lblResult_->setObjectName("lblResult");
    lblResult_->setWordWrap(true);
    lblResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblResult_, 1);
    lblResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the report of "Essayer", so that the fields above are never squeezed by it.
    lblResult_->setMinimumHeight(lblResult_->fontMetrics().lineSpacing() * 9);

    auto* buttons = new QHBoxLayout;
    cmdTry_ = new QPushButton(QString::fromUtf8("&Essayer"), this);
    cmdTry_->setObjectName("cmdTry");
    cmdSave_ = new QPushButton(QString::fromUtf8("Enre&gistrer"), this);
    cmdSave_->setObjectName("cmdSave");
    cmdCancel_ = new QPushButton(QString::fromUtf8("Annuler"), this);
    cmdCancel_->setObjectName("cmdCancel");
    buttons->addWidget(cmdTry_);
    buttons->addStretch();
    buttons->addWidget(cmdSave_);
    buttons->addWidget(cmdCancel_);
    layout->addLayout(buttons);
    connect(cmdTry_, &QPushButton::clicked, this, &SettingsWindow::onTry);
    connect(cmdSave_, &QPushButton::clicked, this, &SettingsWindow::onSave);
    connect(cmdCancel_, &QPushButton::clicked, this, [this] {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
            frame->close();
        else
            close();
    });
}

void SettingsWindow::showSettings(const workflows::StationSettings& settings) {
    cboDialect_->setCurrentText(Text(settings.dialect));
    optServer_->setChecked(settings.useServer);
    optFile_->setChecked(!settings.useServer);
    txtJournalFile_->setText(Text(settings.journalFile));
    txtHost_->setText(Text(settings.server.host));
    txtPort_->setText(Text(settings.server.port));
    txtDatabase_->setText(Text(settings.server.database));
    txtLogin_->setText(Text(settings.server.login));
    cboSslMode_->setCurrentIndex(std::max(0, cboSslMode_->findData(Text(settings.server.sslMode))));
    txtStation_->setText(Text(settings.station));
    txtWait_->setText(Text(settings.waitSeconds));
}

void SettingsWindow::refreshReaders() {
    const QVariant chosen = cboReader_->count() > 0 ? cboReader_->currentData()
                            : context_.simulated    ? QVariant(kSimulatedData)
                                                    : QVariant(Text(loaded_.readerName));
    std::vector<reader::ReaderSurvey> readers;
    if (context_.listReaders)
        readers = context_.listReaders();
    cboReader_->blockSignals(true);
    cboReader_->clear();
    cboReader_->addItem(QString::fromUtf8("Le premier lecteur PC/SC"), QString());
    if (context_.simulated)
        cboReader_->addItem(QString::fromUtf8("Lecteur simulé (en service)"), kSimulatedData);
    for (const reader::ReaderSurvey& r : readers) {
        const std::string set = r.dialect.empty() ? "inconnu" : r.dialect;
        cboReader_->addItem(Text(r.name + " — jeu " + set), Text(r.name));
    }
    // A reader named by the configuration that is not plugged in stays choosable.
    for (const QString& name : {Text(loaded_.readerName), chosen.toString()}) {
        if (!name.isEmpty() && name != kSimulatedData && cboReader_->findData(name) < 0)
            cboReader_->addItem(name + QString::fromUtf8(" — absent"), name);
    }
    cboReader_->setCurrentIndex(std::max(0, cboReader_->findData(chosen)));
    cboReader_->blockSignals(false);
}

workflows::StationSettings SettingsWindow::fields() const {
    workflows::StationSettings s = loaded_;
    const QString reader = cboReader_->currentData().toString();
    s.readerName = reader == kSimulatedData ? loaded_.readerName : reader.toStdString();
    s.dialect = cboDialect_->currentText().toStdString();
    s.useServer = optServer_->isChecked();
    s.journalFile = Std(txtJournalFile_);
    s.server = {Std(txtHost_), Std(txtPort_), Std(txtDatabase_), Std(txtLogin_),
                cboSslMode_->currentData().toString().toStdString()};
    s.station = Std(txtStation_);
    s.waitSeconds = Std(txtWait_);
    return s;
}

bool SettingsWindow::checkFields() {
    const workflows::StationSettings now = fields();
    for (QWidget* field : {static_cast<QWidget*>(txtHost_), static_cast<QWidget*>(txtPort_),
                           static_cast<QWidget*>(txtDatabase_), static_cast<QWidget*>(txtLogin_),
                           static_cast<QWidget*>(cboSslMode_)})
        field->setEnabled(now.useServer);
    txtJournalFile_->setEnabled(!now.useServer);
    const workflows::SettingsProblems problems = workflows::CheckStationSettings(now);
    ShowProblem(lblFileProblem_, problems.journalFile);
    ShowProblem(lblPortProblem_, problems.port);
    ShowProblem(lblServerProblem_, problems.server);
    ShowProblem(lblWaitProblem_, problems.wait);
    return problems.none();
}

void SettingsWindow::onTry() {
    if (task_.pending())
        return;
    if (!checkFields()) {
        lblResult_->setText(QString::fromUtf8("Corrigez d'abord les champs signalés."));
        return;
    }
    const workflows::StationSettings now = fields();
    cardLines_.clear();
    if (context_.describeCard)
        cardLines_.push_back("Carte : " + context_.describeCard(now.readerName));
    if (!now.useServer) {
        std::vector<std::string> lines = cardLines_;
        lines.push_back("Journal : ce poste, " + (now.journalFile.empty()
                                                      ? std::string("fichier de l'utilisateur")
                                                      : now.journalFile));
        lblResult_->setText(Joined(lines));
        return;
    }
    if (answer_)
        base::ClearSecret(answer_->password);
    answer_.reset();
    checkServer(workflows::ServerAddress(now), {});
}

void SettingsWindow::checkServer(const std::string& address, const std::string& password) {
    cmdTry_->setEnabled(false);
    lblResult_->setText(Joined(cardLines_) + (cardLines_.empty() ? "" : "\n") +
                        QString::fromUtf8("Serveur : essai en cours…"));
    // The connection waits beside the window, which keeps answering.
    task_.Start([this, address, password] { result_ = journal::CheckServer(address, password); },
                [this, password] { serverChecked(result_, password); });
    poll_->start();
}

void SettingsWindow::serverChecked(const journal::ServerCheck& check, const std::string& password) {
    const workflows::StationSettings now = fields();
    if (!check.reached && check.passwordAsked && password.empty()) {
        const QString who = Text(now.server.login + " sur " + now.server.host);
        answer_ = askPassword(who);
        if (answer_) {
            checkServer(check.address, answer_->password);
            return;
        }
    }
    std::vector<std::string> lines = cardLines_;
    for (const std::string& line : journal::ServerCheckLines(check))
        lines.push_back(line);
    if (check.reached && answer_ && answer_->keep) {
        const std::string file = journal::PasswordFilePath();
        std::string error;
        lines.push_back(journal::KeepPassword(file, now.server, answer_->password, error)
                            ? "Mot de passe gardé dans " + file
                            : error);
    }
    if (answer_)
        base::ClearSecret(answer_->password);
    answer_.reset();
    lblResult_->setText(Joined(lines));
    cmdTry_->setEnabled(true);
}

void SettingsWindow::onSave() {
    if (!checkFields()) {
        lblResult_->setText(
            QString::fromUtf8("Rien n'est enregistré : corrigez les champs signalés."));
        return;
    }
    const workflows::StationSettings now = fields();
    int changed = 0;
    std::string error;
    if (!workflows::SaveConfigValues(
            context_.configFile, workflows::StationConfigValues(now, loaded_), changed, error)) {
        lblResult_->setText(Text(error));
        return;
    }
    loaded_ = now;
    if (loaded_.useServer) {
        loaded_.serverText = workflows::ServerAddress(now);
        loaded_.serverAsRead = now.server;
    }
    const std::string file =
        context_.configFile.empty() ? workflows::DefaultConfigFile() : context_.configFile;
    std::string done = changed == 0 ? "Rien à enregistrer : " + file + " dit déjà cela"
                                    : "Réglages enregistrés dans " + file + " (" +
                                          std::to_string(changed) + " valeur(s) changée(s))";
    if (changed > 0)
        done += context_.applied ? " ; " + context_.applied(now)
                                 : " ; ils servent dès le prochain démarrage";
    lblResult_->setText(Text(done));
}

} // namespace ostrel::app
