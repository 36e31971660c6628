#include "app_test_cards.h"
#include "main_kestrix.h"
#include "menu_model.h"
#include "reader/simulated_reader.h"
#include "status_line.h"
#include "window_test_support.h"
#include "window_title.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

const QString kTitle = QString::fromUtf8(app::kWindowTitle);
const char* const kCardMenus[] = {"FORMAT", "WRITE_ADMIN", "MNU_OPERATOR", "WRITE_VALUE",
                                  "MNU_DISPOSABLE"};

// The enabled state an item was given. Qt reports a hidden action as disabled whatever it was
// given, so the item is shown for the time of the question.
bool EnabledSetting(QAction* item) {
    if (item->isVisible())
        return item->isEnabled();
    item->setVisible(true);
    const bool enabled = item->isEnabled();
    item->setVisible(false);
    return enabled;
}

// Remembers whether a workflow window was still loaded when the reader was closed.
class WatchingReader : public reader::SimulatedReader {
public:
    std::int32_t Close(std::int32_t handle) override {
        if (handle == kHandle && state)
            workflowLoadedAtClose = state->FormatActive || state->DisposableActive;
        if (handle == kHandle)
            ++closes;
        return SimulatedReader::Close(handle);
    }
    const reader::SharedState* state = nullptr;
    bool workflowLoadedAtClose = false;
    int closes = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        reader.state = &state;
        window = std::make_unique<app::MainKestrix>(state, app::MakeWorkflowFactories({}));
        window->findChild<QTimer*>("tmrReader")->stop(); // the test gives the ticks
        window->showRefusal = [this](const QString& text) { refusals.push_back(text); };
        window->show();
    }

    QAction* action(const char* name) const { return window->findChild<QAction*>(name); }
    QMdiSubWindow* child(const char* name) const { return ChildWindow(window->mdiArea(), name); }
    void tick() { window->monitor().tick(); }
    void expectCardMenusEnabled(bool enabled) const {
        for (const char* name : kCardMenus)
            EXPECT_EQ(EnabledSetting(action(name)), enabled) << name;
        EXPECT_TRUE(EnabledSetting(action("MNU_FIN")));
        EXPECT_TRUE(EnabledSetting(action("MNU_JOURNAL"))); // never a card menu
        // Greyed with them, but open with a card inside: "Essayer" identifies it.
        EXPECT_EQ(EnabledSetting(action("MNU_SETTINGS")), enabled);
        EXPECT_FALSE(EnabledSetting(action("ABOUT")));
    }

    WatchingReader reader;
    reader::SharedState state{reader};
    std::unique_ptr<app::MainKestrix> window;
    std::vector<QString> refusals;
};

TEST_F(MainWindowTest, MenuBarItemsInOrderWithTheirStartStates) {
    const QList<QAction*> items = window->menuBar()->actions();
    ASSERT_EQ(items.size(), 10);
    const struct {
        const char* name;
        const char* caption;
        bool visible;
        bool enabled;
    } expected[] = {
        {"MNU_FIN", "Fin", true, true},
        {"FORMAT", "Formatage", true, true},
        {"WRITE_ADMIN", "Carte Administration", false, true},
        {"MNU_OPERATOR", "Carte Opérateur", false, true},
        {"WRITE_VALUE", "Carte Valeur", false, true},
        {"MNU_DISPOSABLE", "Programmation carte", true, true},
        {"MNU_JOURNAL", "Journal", true, true},
        {"MNU_SETTINGS", "Réglages", true, true},
        {"ABOUT", "A propos", false, false},
    };
    for (int i = 0; i < 9; ++i) {
        const auto& e = expected[i];
        EXPECT_EQ(items[i]->objectName(), e.name);
        EXPECT_EQ(QString(items[i]->text()).remove('&'), QString::fromUtf8(e.caption));
        EXPECT_EQ(items[i]->isVisible(), e.visible) << e.name;
        EXPECT_EQ(EnabledSetting(items[i]), e.enabled) << e.name;
        EXPECT_EQ(items[i]->menu(), nullptr);
    }
    // "Aide" last, also after the simulated reader's item, with its two entries.
    window->addSimulatedReaderItem([] {});
    EXPECT_EQ(window->menuBar()->actions().last()->objectName(), "MNU_HELP");
    EXPECT_EQ(window->menuBar()->actions().last()->text(), "&Aide");
    QStringList entries;
    for (const QAction* entry : window->menuBar()->actions().last()->menu()->actions())
        entries << entry->objectName() + " " + QString(entry->text()).remove('&');
    EXPECT_EQ(entries, QStringList({QString::fromUtf8("MNU_ABOUT À propos"), "MNU_MANUAL Manuel"}));
}

TEST_F(MainWindowTest, LoadStartsTheReaderTimerAndShowsTheWelcomeWindow) {
    app::MainKestrix fresh(state, {});
    const auto* timer = fresh.findChild<QTimer*>("tmrReader");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 200);
    EXPECT_EQ(fresh.windowTitle(), kTitle);
    const QMdiSubWindow* welcome = ChildWindow(fresh.mdiArea(), "frmWelcome");
    ASSERT_NE(welcome, nullptr);
    EXPECT_TRUE(welcome->isMaximized());
    EXPECT_EQ(state.ReaderState, reader::kReaderNeverOpened);
}

TEST_F(MainWindowTest, TheTitleFollowsTheReader) {
    tick();
    EXPECT_EQ(window->windowTitle(), kTitle + QString::fromUtf8(app::kSuffixNoCard));
    reader.insertCard(TestBlankCard());
    tick();
    // A maximised child window adds nothing to the title.
    EXPECT_EQ(window->windowTitle(), kTitle + QString::fromUtf8(app::kSuffixCardInside));
    reader.unplug();
    tick();
    EXPECT_EQ(window->windowTitle(), kTitle + QString::fromUtf8(app::kSuffixNoReader));
}

// The line under the window names the reader and its command set, refreshed at every tick; the
// title keeps only the reader state.
TEST_F(MainWindowTest, TheStatusLineShowsTheReaderAndItsCommandSet) {
    struct Source : reader::ReaderStatusSource {
        reader::ReaderStatus status;
        reader::ReaderStatus readerStatus() const override { return status; }
    } source;
    window->setReaderStatusSource([&] { return app::ReaderStatusLine(&source); });
    auto* line = window->findChild<QLabel*>("lblStatus");
    ASSERT_NE(line, nullptr);
    const std::pair<reader::ReaderStatus, std::string> cases[] = {
        {{"", "auto", ""}, "Lecteur PC/SC : aucun lecteur"},
        {{"R1", "auto", ""},
         "Lecteur PC/SC « R1 », jeu de commandes auto (trouvé à la première "
         "carte)"},
        {{"R1", "storage", ""}, "Lecteur PC/SC « R1 », jeu de commandes storage"},
        {{"R1", "auto", "lecteur « R1 » : x ; choisissez --dialect"},
         "Lecteur « R1 » : x ; choisissez --dialect"},
    };
    for (const auto& [status, text] : cases) {
        // What the reader says of itself changes with what the monitor sees: here the reader
        // is unplugged and plugged in again.
        source.status = status;
        reader.unplug();
        window->tickReader();
        reader.plug();
        window->tickReader();
        EXPECT_EQ(line->text().toStdString(), text);
        EXPECT_EQ(window->windowTitle(), kTitle + QString::fromUtf8(app::kSuffixNoCard));
    }
    EXPECT_EQ(app::ReaderStatusLine(nullptr), "Lecteur simulé");
}

// While the dump shows a card, the line also tells what the card says of its security; the dump
// window itself is unchanged.
TEST_F(MainWindowTest, TheStatusLineTellsTheSecurityOfTheCardTheDumpShows) {
    window->setReaderStatusSource([] { return app::ReaderStatusLine(nullptr); });
    auto* line = window->findChild<QLabel*>("lblStatus");
    window->tickReader();
    EXPECT_EQ(line->text(), "Lecteur simulé");
    auto card = TestFormattedCard();
    card->chip().setErrorCounter(3);
    for (int address : {0, 1, 2, 3, 25})
        card->chip().setProtectionBit(address, false);
    reader.insertCard(card);
    window->tickReader();
    ASSERT_NE(child("frmDump"), nullptr);
    EXPECT_EQ(line->text(), "Lecteur simulé — carte : 2 essais ; octets protégés : 0–3, 25");
    window->tickReader();
    EXPECT_EQ(line->text(), "Lecteur simulé — carte : 2 essais ; octets protégés : 0–3, 25");
    reader.removeCard();
    window->tickReader();
    EXPECT_EQ(line->text(), "Lecteur simulé");
}

TEST_F(MainWindowTest, AnInsertedCardShowsItsDumpMaximisedAndReadableAndRemovalClosesIt) {
    tick();
    reader.insertCard(TestFormattedCard());
    tick();
    QMdiSubWindow* dump = child("frmDump");
    ASSERT_NE(dump, nullptr);
    EXPECT_EQ(dump->windowTitle(), "Card Dump");
    EXPECT_TRUE(dump->isMaximized());
    const auto* list = dump->findChild<QListWidget*>("lstDump");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 16);
    EXPECT_EQ(dump->findChild<QLabel*>("lblInfo")->text(), "carte valide");
    Settle();
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());

    reader.removeCard();
    tick();
    Settle();
    EXPECT_EQ(child("frmDump"), nullptr);
    EXPECT_NE(child("frmWelcome"), nullptr);
}

TEST_F(MainWindowTest, EveryCardMenuIsRefusedWithACardInside) {
    tick();
    reader.insertCard(TestBlankCard());
    tick();
    for (const char* name : kCardMenus) {
        action(name)->trigger();
    }
    EXPECT_EQ(refusals,
              std::vector<QString>(5, QString::fromUtf8("Retirez la carte du lecteur !")));
    EXPECT_EQ(child("frmFormat"), nullptr);
    EXPECT_EQ(child("frmDisposable"), nullptr);
    EXPECT_FALSE(state.FormatActive || state.DisposableActive);
    expectCardMenusEnabled(true);
    // The journal only reads: it opens with a card inside, once.
    action("MNU_JOURNAL")->trigger();
    action("MNU_JOURNAL")->trigger();
    EXPECT_NE(child("frmJournal"), nullptr);
    int journals = 0;
    for (const QMdiSubWindow* sub : window->mdiArea()->subWindowList())
        journals += sub->widget()->objectName() == "frmJournal";
    EXPECT_EQ(journals, 1);
    EXPECT_EQ(refusals.size(), 5u);
}

TEST_F(MainWindowTest, TheRefusalIsAMessageBoxWithOneOkButton) {
    app::MainKestrix plain(state, app::MakeWorkflowFactories({}));
    plain.findChild<QTimer*>("tmrReader")->stop();
    plain.show();
    reader.insertCard(TestBlankCard());
    plain.monitor().tick();
    QString text;
    int buttons = -1;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    plain.findChild<QAction*>("FORMAT")->trigger();
    EXPECT_EQ(text, QString::fromUtf8("Retirez la carte du lecteur !"));
    EXPECT_EQ(buttons, 1);
    EXPECT_FALSE(state.FormatActive);
}

TEST_F(MainWindowTest, FormattingOpensWithoutAReaderAndLocksTheCardMenus) {
    reader.unplug();
    tick();
    ASSERT_EQ(state.ReaderState, reader::kReaderAbsent);
    action("FORMAT")->trigger();
    const QMdiSubWindow* format = child("frmFormat");
    ASSERT_NE(format, nullptr);
    EXPECT_TRUE(state.FormatActive);
    EXPECT_TRUE(refusals.empty());
    expectCardMenusEnabled(false);

    // While no reader answers the welcome window stays in front; once the reader answers, the
    // window that will write the card is the one in front, before any card goes in.
    tick();
    Settle();
    EXPECT_EQ(window->mdiArea()->currentSubWindow(), child("frmWelcome"));
    reader.plug();
    tick();
    Settle();
    ASSERT_EQ(state.ReaderState, reader::kReaderEmpty);
    EXPECT_EQ(window->mdiArea()->currentSubWindow(), format);
    tick();
    Settle();
    EXPECT_EQ(window->mdiArea()->currentSubWindow(), format) << "and it stays there";

    // The journal brought over it goes behind again when a card comes to be written.
    action("MNU_JOURNAL")->trigger();
    Settle();
    ASSERT_EQ(window->mdiArea()->currentSubWindow(), child("frmJournal"));
    reader.insertCard(TestBlankCard());
    tick();
    Settle();
    EXPECT_EQ(window->mdiArea()->currentSubWindow(), format);

    // Closed, the journal gives the front back to the workflow window, not to the welcome one.
    // It opens within the main window's client area, its buttons in reach.
    action("MNU_JOURNAL")->trigger();
    Settle();
    const QRect room(QPoint(0, 0), window->mdiArea()->viewport()->size());
    EXPECT_TRUE(room.contains(child("frmJournal")->geometry()))
        << child("frmJournal")->width() << "x" << child("frmJournal")->height();
    child("frmJournal")->close();
    Settle();
    EXPECT_EQ(window->mdiArea()->currentSubWindow(), format);
}

TEST_F(MainWindowTest, FinClosesTheDisposableWindowFirstThenTheProgram) {
    tick();
    action("MNU_DISPOSABLE")->trigger();
    ASSERT_NE(child("frmDisposable"), nullptr);
    ASSERT_TRUE(state.DisposableActive);

    action("MNU_FIN")->trigger();
    Settle();
    EXPECT_EQ(child("frmDisposable"), nullptr);
    EXPECT_FALSE(state.DisposableActive);
    expectCardMenusEnabled(true);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(reader.closes, 0);

    action("MNU_FIN")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->mdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(reader.closes, 1);
}

TEST_F(MainWindowTest, EndingTheProgramUnloadsTheWorkflowWindowBeforeClosingTheReader) {
    tick();
    action("FORMAT")->trigger();
    ASSERT_TRUE(state.FormatActive);
    window->close();
    EXPECT_EQ(reader.closes, 1);
    EXPECT_FALSE(reader.workflowLoadedAtClose);
    EXPECT_FALSE(state.FormatActive);
}

// A workflow window that will not close while it still has work on the card.
class StubbornWindow : public QWidget, public workflows::CardEvents {
public:
    void CardInserted() override {}
    void CardRemoved() override {}
    bool allowClose = false;

protected:
    void closeEvent(QCloseEvent* event) override { event->setAccepted(allowClose); }
};

TEST_F(MainWindowTest, AWorkflowWindowThatRefusesToCloseKeepsTheProgramAndTheReader) {
    StubbornWindow* stubborn = nullptr;
    app::WorkflowFactories factories;
    factories.format = [&](reader::SharedState&, workflows::WorkflowHost&) {
        return stubborn = new StubbornWindow;
    };
    app::MainKestrix main(state, factories);
    main.show();
    main.monitor().tick();
    main.findChild<QAction*>("FORMAT")->trigger();
    ASSERT_NE(stubborn, nullptr);
    EXPECT_FALSE(main.close());
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(reader.closes, 0);
    EXPECT_TRUE(main.findChild<QTimer*>("tmrReader")->isActive());

    stubborn->allowClose = true;
    EXPECT_TRUE(main.close());
    EXPECT_EQ(reader.closes, 1);
}

TEST_F(MainWindowTest, AnOpenWorkflowWindowTakesTheCardInsteadOfTheDump) {
    tick();
    action("FORMAT")->trigger();
    reader.insertCard(TestBlankCard());
    reader.resetExchangeCount();
    tick();
    EXPECT_EQ(state.ReaderState, reader::kReaderCardInside);
    EXPECT_EQ(child("frmDump"), nullptr);
    EXPECT_GT(reader.exchangeCount(), 0); // the formatting window handled the card

    // Closed by its own close button, the window unlocks the menus as "Fin" would.
    child("frmFormat")->close();
    Settle();
    EXPECT_EQ(child("frmFormat"), nullptr);
    EXPECT_FALSE(state.FormatActive);
    expectCardMenusEnabled(true);
}

TEST_F(MainWindowTest, LosingTheReaderClosesTheDumpAndBringsTheWelcomeBack) {
    tick();
    reader.insertCard(TestFormattedCard());
    tick();
    ASSERT_NE(child("frmDump"), nullptr);
    reader.unplug();
    tick();
    Settle();
    EXPECT_EQ(child("frmDump"), nullptr);
    tick();
    EXPECT_EQ(window->mdiArea()->currentSubWindow(), child("frmWelcome"));

    // Plugged in again with another card: its own dump.
    reader.removeCard();
    reader.insertCard(TestBlankCard(0x46));
    reader.plug();
    tick();
    ASSERT_NE(child("frmDump"), nullptr);
    EXPECT_EQ(child("frmDump")->findChild<QLabel*>("lblInfo")->text(),
              QString::fromUtf8("cette carte n'est pas formatée "));
}

TEST_F(MainWindowTest, ADumpClosedByTheUserIsNotMissed) {
    tick();
    reader.insertCard(TestBlankCard());
    tick();
    child("frmDump")->close();
    Settle();
    reader.removeCard();
    tick();
    reader.insertCard(TestFormattedCard());
    tick();
    ASSERT_NE(child("frmDump"), nullptr);
    EXPECT_EQ(child("frmDump")->findChild<QLabel*>("lblInfo")->text(), "carte valide");
}

} // namespace
