#pragma once

#include "base/beside_task.h"
#include "journal/server_check.h"
#include "password_dialog.h"
#include "reader/reader_status.h"
#include "workflows/station_settings.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace ostrel::app {

// What the settings window needs from the program, each replaceable by a test.
struct SettingsContext {
    std::string configFile; // empty: the per-user file
    // The PC/SC readers present, each with the command set found; asked again while open.
    std::function<std::vector<reader::ReaderSurvey>()> listReaders;
    // The program runs on the simulated reader: it is offered, as the reader in use.
    bool simulated = false;
    // "Essayer": what the card in the reader named (empty: the one in use) is, read only.
    std::function<std::string(const std::string& readerName)> describeCard;
    // After "Enregistrer": the settings saved, to be applied where nothing is under way; says
    // what was.
    std::function<std::string(const workflows::StationSettings&)> applied;
};

// "Réglages du poste": the reader, the journal or the site's server, the station's name and
// the waiting limit, from and to the configuration file.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(SettingsContext context, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Asks for a password the server wants; a test answers in its place.
    std::function<std::optional<PasswordAnswer>(const QString& who)> askPassword;

    // The fields as they stand.
    workflows::StationSettings fields() const;
    // "Essayer" has ended: its report is shown.
    bool tryDone() const { return !task_.pending(); }

private:
    void build();
    void showSettings(const workflows::StationSettings& settings);
    void refreshReaders();
    // Shows each field's problem beside it; true when there is none.
    bool checkFields();
    void onTry();
    void checkServer(const std::string& address, const std::string& password);
    void serverChecked(const journal::ServerCheck& check, const std::string& password);
    void onSave();

    SettingsContext context_;
    workflows::StationSettings loaded_;
    std::vector<std::string> cardLines_;
    std::optional<PasswordAnswer> answer_;
    base::BesideTask task_;
    journal::ServerCheck result_;
    QTimer* poll_;
    QTimer* readerRefresh_;
    QComboBox* cboReader_;
    QComboBox* cboDialect_;
    QRadioButton* optFile_;
    QRadioButton* optServer_;
    QLineEdit* txtJournalFile_;
    QLineEdit* txtHost_;
    QLineEdit* txtPort_;
    QLineEdit* txtDatabase_;
    QLineEdit* txtLogin_;
    QComboBox* cboSslMode_;
    QLineEdit* txtStation_;
    QLineEdit* txtWait_;
    QLabel* lblFileProblem_;
    QLabel* lblPortProblem_;
    QLabel* lblServerProblem_;
    QLabel* lblWaitProblem_;
    QLabel* lblResult_;
    QPushButton* cmdTry_;
    QPushButton* cmdSave_;
    QPushButton* cmdCancel_;
};

} // namespace ostrel::app
