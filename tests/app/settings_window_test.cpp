// "Réglages du poste": the configuration's keys shown and saved back with only the changed ones
// differing, bad fields refused in place, and "Essayer" against the private PostgreSQL server.
#include "about_dialog.h"
#include "journal/server_address_parts.h"
#include "live_settings.h"
#include "pg_test_database.h"
#include "reader/simulated_reader.h"
#include "settings_window.h"
#include "status_line.h"
#include "temp_folder.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostrel;

namespace {

// A file as an operator edits it: a byte-order mark, CR LF, comments, quotes, other sections.
const std::string kConfig = "\xEF\xBB\xBF; réglages du poste\r\n"
                            "[Format]\r\nNextSerial=1000181\r\n\r\n"
                            "[Station]\r\nName=\"Guichet 1\"\r\n; la suite\r\n"
                            "[Autre]\r\nCle = valeur\r\n"
                            "[Journal]\r\nAttente=45\r\n";

template <typename T> T* Find(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

std::string Result(const QWidget& window) {
    return Find<QLabel>(window, "lblResult")->text().toStdString();
}

struct Settings : ::testing::Test {
    TempFolder dir{"ostrel-settings"};
    std::string config = dir.path("poste.ini");

    app::SettingsContext Context() {
        app::SettingsContext context;
        context.configFile = config;
        context.listReaders = [] {
            return std::vector<reader::ReaderSurvey>{
                {"Lecteur A", true, "3B 04 A2 13 10 91", "memcard", ""},
                {"Lecteur B", false, "", "", ""}};
        };
        context.describeCard = [](const std::string& name) { return "vue dans « " + name + " »"; };
        return context;
    }
    void Try(app::SettingsWindow& window) {
        QTest::mouseClick(Find<QPushButton>(window, "cmdTry"), Qt::LeftButton);
        for (int i = 0; i < 1000 && !window.tryDone(); ++i)
            QTest::qWait(10);
        QCoreApplication::processEvents();
        ASSERT_TRUE(window.tryDone());
        QTest::qWait(50); // the window's poll runs the continuation
    }
};

TEST_F(Settings, FieldsComeFromTheFileAndOnlyTheChangedKeysAreSavedBack) {
    dir.write("poste.ini", kConfig);
    app::SettingsWindow window(Context());
    EXPECT_EQ(Find<QLineEdit>(window, "txtStation")->text(), "Guichet 1");
    EXPECT_EQ(Find<QLineEdit>(window, "txtWait")->text(), "45");
    EXPECT_TRUE(Find<QRadioButton>(window, "optFile")->isChecked());
    auto* readers = Find<QComboBox>(window, "cboReader");
    EXPECT_GE(readers->findText(QString::fromUtf8("Lecteur A — jeu memcard")), 0);
    EXPECT_GE(readers->findText(QString::fromUtf8("Lecteur B — jeu inconnu")), 0);

    // Nothing changed: nothing written, not even the keys' defaults.
    QTest::mouseClick(Find<QPushButton>(window, "cmdSave"), Qt::LeftButton);
    EXPECT_EQ(dir.read("poste.ini"), kConfig);

    readers->setCurrentIndex(readers->findData("Lecteur B"));
    Find<QLineEdit>(window, "txtWait")->setText("10");
    QTest::mouseClick(Find<QPushButton>(window, "cmdSave"), Qt::LeftButton);
    std::string expected = kConfig;
    expected.replace(expected.find("Attente=45"), 10, "Attente=10");
    EXPECT_EQ(dir.read("poste.ini"), expected + "\r\n[Lecteur]\r\nNom=Lecteur B\r\n");

    // The name with its quotes, and a server given by its fields.
    Find<QLineEdit>(window, "txtStation")->setText("Guichet 2");
    Find<QRadioButton>(window, "optServer")->setChecked(true);
    Find<QLineEdit>(window, "txtHost")->setText("server.example");
    Find<QLineEdit>(window, "txtDatabase")->setText("ostrel");
    Find<QLineEdit>(window, "txtLogin")->setText("guichet2");
    auto* tls = Find<QComboBox>(window, "cboSslMode");
    tls->setCurrentIndex(tls->findData("verify-full"));
    QTest::mouseClick(Find<QPushButton>(window, "cmdSave"), Qt::LeftButton);
    const std::string saved = dir.read("poste.ini");
    EXPECT_NE(saved.find("Name=\"Guichet 2\"\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[Journal]\r\nAttente=10\r\n"
                         "Server=postgresql://guichet2@server.example/ostrel?sslmode=verify-full"),
              std::string::npos)
        << saved;
}

TEST_F(Settings, BadFieldsAreRefusedInPlaceAndNothingIsSaved) {
    dir.write("poste.ini", kConfig);
    app::SettingsWindow window(Context());
    const struct {
        const char* field;
        const char* text;
        const char* problemLabel;
        const char* problem;
    } cases[] = {
        {"txtWait", "3601", "lblWaitProblem", "attente : un nombre de secondes de 0 à 3600"},
        {"txtWait", "-1", "lblWaitProblem", "attente : un nombre de secondes de 0 à 3600"},
        {"txtJournalFile", "/nulle/part/journal.sqlite", "lblFileProblem",
         "fichier du journal : dossier /nulle/part introuvable"},
        {"txtPort", "54a", "lblPortProblem", "port : un nombre de 1 à 65535"},
        {"txtPort", "65536", "lblPortProblem", "port : un nombre de 1 à 65535"},
    };
    for (const auto& c : cases) {
        const bool server = std::string(c.field) == "txtPort";
        Find<QRadioButton>(window, server ? "optServer" : "optFile")->setChecked(true);
        Find<QLineEdit>(window, "txtHost")->setText("h");
        Find<QLineEdit>(window, "txtDatabase")->setText("d");
        auto* field = Find<QLineEdit>(window, c.field);
        const QString before = field->text();
        field->setText(c.text);
        auto* problem = Find<QLabel>(window, c.problemLabel);
        EXPECT_FALSE(problem->isHidden()) << c.field << " " << c.text;
        EXPECT_EQ(problem->text().toStdString().rfind(c.problem, 0), 0u)
            << problem->text().toStdString();
        QTest::mouseClick(Find<QPushButton>(window, "cmdSave"), Qt::LeftButton);
        EXPECT_EQ(dir.read("poste.ini"), kConfig) << c.field << " " << c.text;
        field->setText(before);
        EXPECT_TRUE(problem->isHidden()) << c.field;
    }
}

// "Enregistrer" on a program running on the simulated reader: the waiting limit serves at once;
// a PC/SC reader chosen that does not answer (none here) leaves the reader in use, and so does
// one chosen while --reader given at start wins.
TEST_F(Settings, EnregistrerAppliesTheWaitAtOnceAndKeepsTheReaderInUseWithTheReason) {
    using namespace std::chrono_literals;
    const struct {
        const char* readerOption;
        const char* wait;
        std::chrono::milliseconds limit;
        const char* said;
        const char* end;
    } cases[] = {
        {"", "7", 7s,
         "le journal, le nom du poste et l'attente de 7 s servent dès maintenant ; le lecteur « "
         "Lecteur B » ne ",
         " : le lecteur en service reste"},
        {"sim", "45", 45s,
         "le journal et le nom du poste servent dès maintenant ; l'option --reader donnée au "
         "démarrage l'emporte sur le lecteur choisi",
         "choisi"},
    };
    for (const auto& c : cases) {
        dir.write("poste.ini", kConfig);
        app::AppOptions options;
        options.configFile = config;
        options.given.reader = c.readerOption;
        options.reader = {reader::ReaderChoice::Kind::Simulated, {}, {}};
        auto simulated = std::make_unique<reader::SimulatedReader>();
        reader::SimulatedReader& inUse = *simulated;
        reader::SwitchableReader readers(std::move(simulated));
        const std::int32_t handle = readers.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        base::Waiting waiting(45s);
        app::LiveSettings live(options, options.reader, nullptr, readers, waiting);
        app::SettingsContext context = Context();
        context.simulated = true;
        context.applied = [&live](const workflows::StationSettings&) {
            return live.Apply(false).message;
        };
        app::SettingsWindow window(std::move(context));
        auto* readerList = Find<QComboBox>(window, "cboReader");
        readerList->setCurrentIndex(readerList->findData("Lecteur B"));
        Find<QLineEdit>(window, "txtWait")->setText(c.wait);
        QTest::mouseClick(Find<QPushButton>(window, "cmdSave"), Qt::LeftButton);

        const std::string result = Result(window);
        EXPECT_NE(result.find(" ; " + std::string(c.said)), std::string::npos) << result;
        EXPECT_TRUE(result.ends_with(c.end)) << result;
        EXPECT_EQ(waiting.limit(), c.limit) << c.wait;
        reader::InfoRecord info;
        EXPECT_EQ(readers.GetInfo(handle, info), 0) << "the reader in use was closed";
        EXPECT_EQ(inUse.pollCount(), 1);
    }
}

struct SettingsOnServer : Settings {
    PgTestDatabase db{"settings", dir.dir().string()};

    void SetUp() override {
        if (!db.present()) {
            if (std::getenv("CI"))
                FAIL() << db.why();
            GTEST_SKIP() << db.why();
        }
        ASSERT_TRUE(db.ok()) << db.why();
        ASSERT_EQ(PgTestDatabase::Run(db.adminUri(),
                                      "INSERT INTO ostrel.series(next_serial) VALUES (1000181)"),
                  "");
    }
    // The configuration naming the server with login, over the socket.
    void Configure(const std::string& login) {
        journal::ServerAddressParts parts;
        ASSERT_TRUE(journal::SplitAddress(db.adminUri(), parts));
        parts.login = login;
        dir.write("poste.ini", "[Journal]\nServer=" + journal::ComposeAddress(parts) + "\n");
    }
    std::string Essayer() {
        app::SettingsWindow window(Context());
        window.askPassword = [this](const QString&) {
            ++asked;
            return answer;
        };
        Try(window);
        return Result(window);
    }
    int asked = 0;
    std::optional<app::PasswordAnswer> answer;
};

TEST_F(SettingsOnServer, EssayerTellsWhatAStationAndAnAdministratorFind) {
    const std::string station = db.Station("poste");
    Configure(station.substr(13, station.find('@') - 13));
    const std::string asStation = Essayer();
    EXPECT_EQ(asStation.rfind("Carte : vue dans «  »\nServeur joint : PostgreSQL ", 0), 0u)
        << asStation;
    for (const char* line :
         {"\nTLS : non\n", "\nDroits : poste (ostrel_station)\n", "\nSchéma : version 4\n",
          "\nSérie : commencée, prochain numéro 1000181\n", "\nFormatage possible par ce serveur"})
        EXPECT_NE(asStation.find(line), std::string::npos) << line << "\n" << asStation;

    const std::string admin = db.name() + "_adm";
    ASSERT_EQ(PgTestDatabase::Run(db.adminUri(), "CREATE ROLE " + admin +
                                                     " LOGIN PASSWORD 'pw-adm' IN ROLE "
                                                     "ostrel_owner"),
              "");
    dir.write("pgpass", dir.read("pgpass") + "*:*:*:" + admin + ":pw-adm\n");
    Configure(admin);
    const std::string asAdmin = Essayer();
    EXPECT_NE(asAdmin.find("\nDroits : administrateur (ostrel_owner)\n"), std::string::npos)
        << asAdmin;
    EXPECT_NE(asAdmin.find("\nSchéma : version 4\n"), std::string::npos) << asAdmin;
    PgTestDatabase::Run(db.adminUri(), "DROP OWNED BY " + admin);
    PgTestDatabase::Run(db.adminUri(), "DROP ROLE " + admin);
    EXPECT_EQ(asked, 0);
}

TEST_F(SettingsOnServer, AWrongPasswordIsAskedForThenKeptInAPrivateFileOfOneLine) {
    const std::string uri = db.Station("mdp");
    const std::string role = uri.substr(13, uri.find('@') - 13);
    Configure(role);
    journal::ServerAddressParts parts;
    ASSERT_TRUE(journal::SplitAddress(db.adminUri(), parts));
    parts.login = role;
    // The operator's own file, with a line for this login that is no longer right.
    const std::string file = dir.path("operator.pgpass");
    dir.write("operator.pgpass", journal::PasswordFileLine(parts, "ancien") + "\n");
    ::chmod(file.c_str(), 0600);
    ::setenv("PGPASSFILE", file.c_str(), 1);
    answer = app::PasswordAnswer{"pw-" + role, true};
    const std::string first = Essayer();
    EXPECT_EQ(asked, 1);
    EXPECT_NE(first.find("\nFormatage possible par ce serveur\nMot de passe gardé dans " + file),
              std::string::npos)
        << first;
    EXPECT_EQ(dir.read("operator.pgpass"), journal::PasswordFileLine(parts, "pw-" + role) + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    // The file kept is what the next connection uses: no question.
    answer.reset();
    EXPECT_NE(Essayer().find("Formatage possible"), std::string::npos);
    EXPECT_EQ(asked, 1);
    ::setenv("PGPASSFILE", dir.path("pgpass").c_str(), 1);
}

TEST_F(SettingsOnServer, AStoppedServerIsSaidNotReached) {
    const std::string uri = db.Station("arret");
    Configure(uri.substr(13, uri.find('@') - 13));
    ASSERT_EQ(PgTestDatabase::StopImmediately(), 0);
    const std::string stopped = Essayer();
    const int restarted = PgTestDatabase::Start();
    ASSERT_EQ(restarted, 0);
    EXPECT_NE(stopped.find("\nServeur non joint : "), std::string::npos) << stopped;
    EXPECT_NE(stopped.find("\nFormatage impossible par ce serveur"), std::string::npos) << stopped;
    EXPECT_EQ(asked, 0);
}

TEST(StationStatus, NamesTheStationAndWhereItsRecordIs) {
    EXPECT_EQ(app::StationStatusText(
                  "Guichet 1", "postgresql://guichet1@server.example/ostrel?sslmode=verify-full"),
              "Guichet 1 — serveur ostrel@server.example");
    EXPECT_EQ(app::StationStatusText("Guichet 1", ""), "Guichet 1 — journal de ce poste");
    EXPECT_EQ(app::StationStatusText("vm", "postgresql://g@/ostrel?host=/run/pg"),
              "vm — serveur ostrel@ce poste");
}

TEST(About, TellsTheRunAndTheLibrariesLicences) {
    const std::string text =
        app::AboutText({"/etc/poste.ini", "serveur postgresql://s/ostrel", "/var/lib/ostrel"});
    for (const char* part :
         {"Version ", "Configuration : /etc/poste.ini\n",
          "Journal : serveur postgresql://s/ostrel\n", "Dossier des données : /var/lib/ostrel\n",
          "Qt 6.", " — GNU LGPL version 3\n", "pcsc-lite ", "SQLite 3.", " — domaine public\n",
          "libpq (PostgreSQL) 15.", " — licence PostgreSQL\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_NE(app::ManualText().find("ostrel-admin"), std::string::npos);
}

} // namespace
