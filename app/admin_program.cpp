#include "admin_program.h"

#include "about_dialog.h"
#include "app_options.h"
#include "base/beside_task.h"
#include "base/user_data_folder.h"
#include "live_settings.h"
#include "main_kestrix.h"
#include "qt_translations.h"
#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/reader_choice.h"
#include "reader/reader_factory.h"
#include "reader/switchable_reader.h"
#include "reader_picture.h"
#include "settings_window.h"
#include "simulated_reader_window.h"
#include "status_line.h"
#include "workflow_factories.h"
#include "workflows/ini_serial_store.h"
#include "workflows/journal_setting.h"
#include "workflows/run_files.h"
#include "workflows/wait_setting.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <iostream>
#include <memory>

namespace ostrel::app {

namespace {

constexpr int kSendPendingMilliseconds = 60 * 1000;

// A window manager frames and places the main window a little after it is shown: until then
// its frame is the bare window at the origin. The simulated reader's window waits for that
// (or for a second and a half without a window manager), then both are placed by their frames,
// and it is shown.
void ShowBesideOnceFramed(QMainWindow& main, SimulatedReaderWindow& reader) {
    constexpr int kPollMs = 50;
    constexpr int kPolls = 30;
    auto* wait = new QTimer(&reader);
    wait->setInterval(kPollMs);
    QObject::connect(wait, &QTimer::timeout, &reader, [&main, &reader, wait, polls = 0]() mutable {
        const QWindow* handle = main.windowHandle();
        const bool framed = handle && handle->isExposed() && !handle->frameMargins().isNull();
        if (!framed && ++polls < kPolls)
            return;
        wait->deleteLater();
        wait->stop();
        // The reader's window gets the same decoration as the main window.
        const QMargins frame = handle ? handle->frameMargins() : QMargins();
        const QSize grow(frame.left() + frame.right(), frame.top() + frame.bottom());
        const auto places = SimulatedReaderWindow::PlaceWithMain(
            main.frameGeometry(), reader.size() + grow,
            reader.minimumSizeHint().width() + grow.width(), main.screen()->availableGeometry());
        if (places.main.topLeft() != main.frameGeometry().topLeft())
            main.move(places.main.topLeft());
        reader.resize(places.reader.size() - grow);
        reader.move(places.reader.topLeft()); // a window's position is its frame's
        reader.show();
    });
    wait->start();
}

// "Essayer" on the reader chosen: the card in the reader in use identified as an insertion
// would, read only; another PC/SC reader told from its survey.
std::string DescribeCard(reader::SharedState& state, const reader::ReaderChoice& inUse,
                         const std::string& readerName) {
    const bool current = readerName.empty() ||
                         inUse.kind == reader::ReaderChoice::Kind::Simulated ||
                         readerName == inUse.argument;
    if (current) {
        if (state.ReaderState != reader::kReaderCardInside)
            return "aucune dans le lecteur en service";
        reader::IdentifyCard(state);
        reader::EndCardSession(state);
        return state.InfoMessage;
    }
    std::vector<reader::ReaderSurvey> readers;
    std::string error;
    if (!reader::SurveyPcscReaders(readers, error))
        return error;
    for (const reader::ReaderSurvey& r : readers) {
        if (r.name != readerName)
            continue;
        if (!r.cardInside)
            return "aucune dans « " + readerName + " »";
        return "ATR " + r.atr + ", jeu " +
               (r.dialect.empty() ? "inconnu (" + r.why + ")" : r.dialect);
    }
    return "lecteur « " + readerName + " » absent";
}

} // namespace

int RunAdmin(QApplication& application, const std::function<void(MainKestrix&)>& started) {
    std::vector<std::string> args; // Qt has taken its own options out already
    for (const QString& arg : application.arguments().mid(1))
        args.push_back(arg.toStdString());
    AppOptions options;
    std::string error;
    if (!ParseAppOptions(args, options, error) || options.help || options.given.version)
        return AnswerAdminLine(options, error);
    reader::ReaderChoice inUse;
    if (!ChooseRunReader(options, inUse, error)) {
        std::cerr << "ostrel-admin : " << error << "\n";
        return 2;
    }
    workflows::JournalSetting journalSetting;
    if (!workflows::ChooseJournal(options.given.journalFile, options.configFile, journalSetting,
                                  error)) {
        std::cerr << "ostrel-admin : " << error << "\n";
        return 2;
    }
    reader::ChosenReader chosen;
    if (!reader::CreateReader(inUse, chosen, error)) {
        std::cerr << "ostrel-admin : " << error << "\n";
        return 1;
    }
    // "Réglages" may replace the reader while the program runs; one trace follows them all.
    auto switchable = std::make_unique<reader::SwitchableReader>(std::move(chosen.library));
    reader::SwitchableReader& readers = *switchable;
    chosen.library = std::move(switchable);
    // The monitor polls every 200 ms: its trace shows changes only.
    if (!reader::StartTrace(options.trace, true, std::cerr,
                            workflows::FilesOfTheRun(options.configFile, options.given.journalFile,
                                                     inUse, chosen.deckFolder),
                            chosen, error)) {
        std::cerr << "ostrel-admin : " << error << "\n";
        return 1;
    }
    std::chrono::milliseconds waitLimit{};
    if (!workflows::ReadWaitLimit(options.configFile, waitLimit, error)) {
        std::cerr << "ostrel-admin : " << error << "\n";
        return 1;
    }
    application.setWindowIcon(ReaderIcon());
    InstallQtTranslations(application);
    reader::SharedState state(*chosen.library);
    // The journal and the configuration are waited for beside the window's thread.
    base::Waiting waiting(waitLimit);
    LiveSettings live(options, inUse, chosen.status, readers, waiting);
    // The journal of the start, then each one "Réglages" chose since: kept to the end, as a
    // window opened before may still read one.
    std::vector<std::unique_ptr<workflows::JournalPlace>> places;
    places.push_back(std::make_unique<workflows::JournalPlace>(journalSetting, options.configFile));
    places.back()->SetWaiting(&waiting);
    workflows::JournalPlace& records = *places.front();
    workflows::JournalSetting current = journalSetting;
    MainKestrix* shown = nullptr; // the settings apply to it once it exists
    std::function<WorkflowFactories()> makeFactories;
    // With no card workflow window open: the configuration read again, its journal and
    // station's name for the next operations, its reader and waiting limit at once.
    const auto applyAtRest = [&]() -> SettingsApplied {
        workflows::JournalSetting saved;
        std::string why;
        if (!workflows::ChooseJournal(options.given.journalFile, options.configFile, saved, why))
            return {why, false, why};
        shown->setStationStatus(StationStatusText(saved.station, saved.server));
        if (saved.server != current.server || saved.file != current.file) {
            places.push_back(std::make_unique<workflows::JournalPlace>(saved, options.configFile));
            places.back()->SetWaiting(&waiting);
            journal::Journal* journal = &places.back()->journal();
            shown->setPendingSource([journal] { return journal->PendingCount(); });
        }
        current = saved;
        SettingsApplied applied = live.Apply(false);
        if (applied.readerReplaced)
            shown->setReaderStatusSource([&live] { return ReaderStatusLine(live.status()); });
        shown->setFactories(makeFactories());
        return applied;
    };
    // After "Enregistrer". With a card workflow window open, the waiting limit only (a wait
    // already begun keeps its own); the rest once that window has gone, its problems then shown
    // in the status line.
    const auto applySettings = [&]() -> std::string {
        if (!shown)
            return {};
        if (!state.FormatActive && !state.DisposableActive)
            return applyAtRest().message;
        shown->afterWorkflows([&] {
            if (const SettingsApplied later = applyAtRest(); !later.problem.empty())
                shown->ShowWarning(later.problem);
        });
        return live.Apply(true).message;
    };
    makeFactories = [&]() -> WorkflowFactories {
        workflows::JournalPlace& place = *places.back();
        WorkflowFactories made =
            MakeWorkflowFactories(options,
                                  {&place.journal(), "ostrel-admin",
                                   reader::ReaderChoiceText(live.inUse()), current.station},
                                  &waiting, place.server() ? &place.series() : nullptr);
        made.settings = [&options, &chosen, &state, &live, &applySettings] {
            SettingsContext context;
            context.configFile = options.configFile;
            context.simulated = chosen.simulator != nullptr;
            // The survey probes the cards it finds: never the one the program is using.
            context.listReaders = [&state, last = std::vector<reader::ReaderSurvey>()]() mutable {
                if (state.ReaderState == reader::kReaderCardInside && !last.empty())
                    return last;
                std::string error;
                reader::SurveyPcscReaders(last, error);
                return last;
            };
            context.describeCard = [&state, &live](const std::string& name) {
                return DescribeCard(state, live.inUse(), name);
            };
            context.applied = [&applySettings](const workflows::StationSettings&) {
                return applySettings();
            };
            return new SettingsWindow(std::move(context));
        };
        const AboutFacts facts{
            options.configFile.empty() ? workflows::DefaultConfigFile() : options.configFile,
            place.server() ? "serveur " + current.server : "fichier " + place.journal().Location(),
            base::UserDataFolder()};
        made.about = [facts](QWidget* parent) { ShowAbout(parent, facts); };
        made.manual = [](QWidget* parent) { ShowManual(parent); };
        return made;
    };
    WorkflowFactories factories = makeFactories();
    MainKestrix mainWindow(state, std::move(factories));
    shown = &mainWindow;
    mainWindow.setReaderStatusSource([&live] { return ReaderStatusLine(live.status()); });
    mainWindow.setStationStatus(StationStatusText(journalSetting.station, journalSetting.server));
    mainWindow.show();
    // Outcomes kept while the server was away go at start and every minute, beside the window.
    base::BesideTask sender;
    QTimer sendPending;
    // Whichever journal the station uses now: one chosen in the settings replaces it.
    mainWindow.setPendingSource([&records] { return records.journal().PendingCount(); });
    const auto send = [&places, &sender] {
        sender.Poll();
        journal::Journal* journal = &places.back()->journal();
        if (!sender.pending() && journal->PendingCount() > 0)
            sender.Start(
                [journal] {
                    std::string error;
                    journal->SendPending(error);
                },
                [] {});
    };
    QObject::connect(&sendPending, &QTimer::timeout, send);
    sendPending.start(kSendPendingMilliseconds);
    send();

    std::unique_ptr<SimulatedReaderWindow> simulatedReader;
    if (chosen.simulator) {
        simulatedReader =
            std::make_unique<SimulatedReaderWindow>(*chosen.simulator, chosen.deckFolder);
        ShowBesideOnceFramed(mainWindow, *simulatedReader);
        mainWindow.addSimulatedReaderItem([window = simulatedReader.get()] {
            window->show();
            window->raise();
            window->activateWindow();
        });
        // It does not keep the program alive: it goes when the main window has gone.
        QObject::connect(&application, &QApplication::lastWindowClosed, simulatedReader.get(),
                         &QWidget::close);
    }
    if (started)
        started(mainWindow);
    const int status = application.exec();
    // A trace cut short must not pass for a whole one.
    if (chosen.trace && !chosen.trace->failure().empty()) {
        std::cerr << "ostrel-admin : " << chosen.trace->failure() << "\n";
        return status == 0 ? 1 : status;
    }
    return status;
}

} // namespace ostrel::app
