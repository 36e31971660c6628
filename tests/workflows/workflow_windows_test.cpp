#include "../held_elsewhere.h"
#include "base/waiting.h"
#include "card/codecs.h"
#include "journal/sqlite_journal.h"
#include "test_cards.h"
#include "window_test_support.h"
#include "workflows/disposable_window.h"
#include "workflows/format_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ostrel;
using workflows::LedIndicator;
namespace fs = std::filesystem;

namespace {

const QColor kGreen(0, 255, 0), kYellow(255, 255, 0), kRed(255, 0, 0);

// The window's thread runs its event loop for a while, as it does between the operator's acts.
void SpinEvents(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

workflows::WorkflowOptions Fixed() {
    workflows::WorkflowOptions options;
    options.today = [] {
        using namespace std::chrono;
        return year{2026} / December / 7;
    };
    return options;
}

struct WindowTest : ::testing::Test {
    reader::SimulatedReader simulator;
    SpyReader spy{simulator};
    reader::SharedState state{spy};
    FakeHost host;
    fs::path dir;
    std::string config;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ostrel-wfwin-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        config = (dir / "ostrel.ini").string();
        state.ReaderHandle = spy.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        state.ReaderState = reader::kReaderEmpty;
    }
    void TearDown() override { fs::remove_all(dir); }

    void Insert(const std::shared_ptr<reader::VirtualCard>& card, workflows::CardEvents& window) {
        simulator.insertCard(card);
        state.ReaderState = reader::kReaderCardInside;
        window.CardInserted();
    }
    void Remove(workflows::CardEvents& window) {
        simulator.removeCard();
        state.ReaderState = reader::kReaderEmpty;
        window.CardRemoved();
    }
    static QColor Led(QWidget* window) { return Find<LedIndicator>(window, "shpLED")->colour(); }
};

} // namespace

TEST_F(WindowTest, FormatWindowLoadsWithItsControlsAndUnloads) {
    auto* window = new workflows::FormatWindow(state, host, config, Fixed());
    EXPECT_EQ(host.calls, std::vector<bool>{false});
    EXPECT_TRUE(state.FormatActive);
    EXPECT_EQ(window->size(), QSize(643, 380));
    EXPECT_EQ(window->windowTitle(), "");
    EXPECT_EQ(LabelText(window, "Label3"), "Formatage");
    EXPECT_EQ(LabelText(window, "Label1"), "Indentification de la prochaine carte:");
    EXPECT_EQ(LabelText(window, "Label2"), "Identification de la carte dernièrement encodée :");
    EXPECT_EQ(LabelText(window, "lblNextSerial"), "1000000");
    EXPECT_EQ(LabelText(window, "lblOldSerial"), "");
    EXPECT_EQ(LabelText(window, "lblInfo"), "Introduire la carte à formater");
    EXPECT_EQ(Find<QLabel>(window, "lblInfo")->geometry(), QRect(72, 160, 521, 25));
    EXPECT_EQ(Find<LedIndicator>(window, "shpLED")->geometry(), QRect(24, 152, 33, 33));
    EXPECT_EQ(Led(window), kGreen);
    const QTimer* blink = Find<QTimer>(window, "tmrClignote");
    ASSERT_NE(blink, nullptr);
    EXPECT_EQ(blink->interval(), 400);
    EXPECT_TRUE(blink->isActive());

    window->close();
    EXPECT_EQ(host.calls, (std::vector<bool>{false, true}));
    EXPECT_FALSE(state.FormatActive);
    delete window;
    EXPECT_EQ(host.calls.size(), 2u);
}

TEST_F(WindowTest, TheBlinkTimerTogglesTheStatusLabel) {
    workflows::FormatWindow window(state, host, config, Fixed());
    QTimer* blink = Find<QTimer>(&window, "tmrClignote");
    const QLabel* info = Find<QLabel>(&window, "lblInfo");
    ASSERT_FALSE(info->isHidden());
    QMetaObject::invokeMethod(blink, "timeout");
    EXPECT_TRUE(info->isHidden());
    QMetaObject::invokeMethod(blink, "timeout");
    EXPECT_FALSE(info->isHidden());
}

TEST_F(WindowTest, FormattingShowsYellowBeforeTheCardAndTheNextSerialAfter) {
    workflows::FormatWindow window(state, host, config, Fixed());
    std::vector<QColor> seen;
    spy.onExchange = [&] { seen.push_back(Led(&window)); };
    Insert(BlankCard(), window);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), kYellow);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "Formatage OK, retirez la carte");
    EXPECT_EQ(LabelText(&window, "lblNextSerial"), "1000001");
    EXPECT_EQ(LabelText(&window, "lblOldSerial"), "1000000"); // the card just formatted
    EXPECT_EQ(Led(&window), kYellow);
    Remove(window);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "Introduire la carte à formater");
    EXPECT_EQ(Led(&window), kGreen);

    Insert(FormattedCard(), window);
    EXPECT_EQ(LabelText(&window, "lblOldSerial"), "1000000");
    EXPECT_EQ(Led(&window), kGreen);
    // Another program formats with the same configuration while this window stays open: the
    // window takes the serial that follows, never the one it showed.
    spy.onExchange = nullptr;
    Remove(window);
    workflows::FormatWindow other(state, host, config, Fixed());
    EXPECT_EQ(LabelText(&other, "lblNextSerial"), "1000001");
    Insert(BlankCard(), other);
    Remove(other);
    auto card = BlankCard();
    Insert(card, window);
    EXPECT_EQ(card::ReadCardLong(card->chip().memory(), 13), 1000002);
    Remove(window);
    EXPECT_EQ(LabelText(&window, "lblNextSerial"), "1000003");
}

TEST_F(WindowTest, ARefusedConfigurationIsShownInRed) {
    std::ofstream(config) << "[Format]\nNextSerial=12abc\n";
    workflows::FormatWindow window(state, host, config, Fixed());
    EXPECT_TRUE(LabelText(&window, "lblInfo").startsWith("Configuration refusée"));
    EXPECT_TRUE(
        Find<QLabel>(&window, "lblInfo")->toolTip().contains(QString::fromStdString(config)));
    EXPECT_EQ(Led(&window), kRed);
    EXPECT_EQ(LabelText(&window, "lblNextSerial"), "");

    // A refusal longer than the line wraps below it, whole, inside the window; the tooltip
    // holds the text and its reason.
    std::ofstream(config) << "[Format]\nNextSerial=" << std::string(120, '9') << "\n";
    workflows::FormatWindow longer(state, host, config, Fixed());
    const QLabel* info = Find<QLabel>(&longer, "lblInfo");
    EXPECT_GT(info->fontMetrics().horizontalAdvance(info->text()), info->width());
    EXPECT_GE(info->height(), info->heightForWidth(info->width()));
    EXPECT_LE(info->geometry().bottom(), longer.height());
    EXPECT_TRUE(info->toolTip().startsWith(info->text()));
}

TEST_F(WindowTest, DisposableWindowLoadsWithItsControls) {
    auto* window = new workflows::DisposableWindow(state, host, Fixed());
    EXPECT_EQ(host.calls, std::vector<bool>{false});
    EXPECT_TRUE(state.DisposableActive);
    EXPECT_EQ(window->size(), QSize(615, 450));
    EXPECT_EQ(LabelText(window, "Label5"), "Ecriture carte");
    EXPECT_EQ(Find<QGroupBox>(window, "Frame1")->title(), "carte Jeton");
    EXPECT_EQ(Find<QGroupBox>(window, "Frame2")->title(), "Carte crédit");
    EXPECT_EQ(LabelText(window, "Label4"), "Nombre de crédit à programmer :");
    EXPECT_EQ(Find<QPushButton>(window, "cmdWriteValueDisposable")->text(),
              "Ecriture Valeur Jetable");
    EXPECT_EQ(Find<QPushButton>(window, "cmdWriteBlankDisposable")->text(),
              "Ecriture valeur crédit");
    // Inside its frame, as the layout places it.
    EXPECT_EQ(Find<QLineEdit>(window, "txtnbcredit")->parentWidget()->objectName(), "Frame2");
    EXPECT_EQ(Find<QLineEdit>(window, "txtnbcredit")->geometry(), QRect(56, 80, 89, 19));
    EXPECT_EQ(Find<QLineEdit>(window, "txtMaxValue")->text(), "255");
    for (const char* field : {"txtprogramme", "txtcredit", "txtnbcredit"}) {
        EXPECT_EQ(Find<QLineEdit>(window, field)->text(), "") << field;
    }
    EXPECT_TRUE(Find<QLineEdit>(window, "txtprogramme")->font().bold());
    EXPECT_EQ(LabelText(window, "lblInfo"), "Introduire la carte à écrire");
    EXPECT_EQ(Led(window), kGreen);
    EXPECT_EQ(Find<QTimer>(window, "tmrClignote")->interval(), 400);
    window->close();
    EXPECT_FALSE(state.DisposableActive);
    EXPECT_EQ(host.calls, (std::vector<bool>{false, true}));
    delete window;
}

// One write per click and per insertion: both buttons are disabled while one writes and stay so
// until the card is pulled; the same card put back may be written again.
TEST_F(WindowTest, BothButtonsStayDisabledFromAWriteUntilTheCardIsPulled) {
    workflows::DisposableWindow window(state, host, Fixed());
    auto* credit = Find<QPushButton>(&window, "cmdWriteBlankDisposable");
    auto* token = Find<QPushButton>(&window, "cmdWriteValueDisposable");
    // Supplier 35: the button presents its code, not another supplier's.
    auto card = BlankCard(0x35, 0x93C4E7);
    Insert(card, window);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "carte inconnue");

    Find<QLineEdit>(&window, "txtnbcredit")->setText("3.5");
    std::vector<std::pair<bool, bool>> during;
    spy.onExchange = [&] { during.emplace_back(credit->isEnabled(), token->isEnabled()); };
    credit->click();
    ASSERT_FALSE(during.empty());
    for (const auto& [creditEnabled, tokenEnabled] : during) {
        EXPECT_FALSE(creditEnabled);
        EXPECT_FALSE(tokenEnabled);
    }
    EXPECT_FALSE(credit->isEnabled());
    EXPECT_FALSE(token->isEnabled());
    EXPECT_EQ(card->chip().memory()[64], 1);
    EXPECT_EQ(card->chip().memory()[65], 4);
    EXPECT_EQ(card->chip().errorCounter(), 7);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "Retirez la carte");
    EXPECT_EQ(Led(&window), kGreen);

    Remove(window);
    EXPECT_TRUE(credit->isEnabled());
    EXPECT_TRUE(token->isEnabled());
    Insert(card, window);
    during.clear();
    Find<QLineEdit>(&window, "txtprogramme")->setText("2");
    Find<QLineEdit>(&window, "txtcredit")->setText("99");
    token->click();
    ASSERT_FALSE(during.empty());
    EXPECT_EQ(Find<QLineEdit>(&window, "txtcredit")->text(), "5");
    EXPECT_EQ(card->chip().memory()[65], 5);
}

// Double and triple clicks on either button, and clicks that reach the window while the first
// write still waits for the journal: one row in the journal per insertion, and the first write
// is never called off by the next click.
TEST_F(WindowTest, RepeatedClicksWriteOneCardOnce) {
    journal::SqliteJournal records((dir / "clicks.sqlite").string());
    std::string error;
    ASSERT_TRUE(records.Open(error)) << error;
    base::Waiting waiting(std::chrono::milliseconds(60000));
    records.SetWaiting(&waiting);
    workflows::WorkflowOptions options = Fixed();
    options.journal = {&records, "tests", "sim"};
    options.waiting = &waiting;
    const auto rows = [&] {
        std::vector<journal::Entry> entries;
        EXPECT_TRUE(records.List({}, entries, error)) << error;
        return entries;
    };
    workflows::DisposableWindow window(state, host, options);
    auto card = BlankCard();
    Find<QLineEdit>(&window, "txtnbcredit")->setText("7");
    Find<QLineEdit>(&window, "txtprogramme")->setText("3");
    for (const char* button : {"cmdWriteBlankDisposable", "cmdWriteValueDisposable"}) {
        SCOPED_TRACE(button);
        const std::size_t before = rows().size();
        Insert(card, window);
        for (int click = 0; click < 3; ++click) {
            Find<QPushButton>(&window, button)->click();
            SpinEvents(5);
        }
        for (const char* other : {"cmdWriteBlankDisposable", "cmdWriteValueDisposable"})
            Find<QPushButton>(&window, other)->click();
        const auto after = rows();
        ASSERT_EQ(after.size(), before + 1);
        EXPECT_EQ(after.front().outcome, journal::kVerified);
        Remove(window);
    }

    // The journal held by another program: the first write waits; clicks meanwhile are ignored.
    Insert(card, window);
    HeldElsewhere holder(OSTREL_HOLD_LOCK, "journal", records.Location());
    ASSERT_TRUE(holder.held());
    auto* credit = Find<QPushButton>(&window, "cmdWriteBlankDisposable");
    auto* token = Find<QPushButton>(&window, "cmdWriteValueDisposable");
    credit->click();
    ASSERT_TRUE(window.workflow().pending());
    EXPECT_FALSE(credit->isEnabled());
    EXPECT_FALSE(token->isEnabled());
    // Clicks that reach the window all the same (queued before the buttons were disabled).
    for (QPushButton* button : {token, credit}) {
        button->setEnabled(true);
        button->click();
    }
    holder.Release();
    for (int spins = 0; window.workflow().pending() && spins < 3000; ++spins)
        SpinEvents(20);
    EXPECT_EQ(window.workflow().outcome(), workflows::DisposableOutcome::Written);
    const auto all = rows();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all.front().operation, journal::kCredit);
    EXPECT_EQ(all.front().outcome, journal::kVerified);
}

// Disabling the pressed button passes the focus along the tab order ("Valeur Maximum"); after
// the write it is back where the operator typed, ready for the next card.
TEST_F(WindowTest, AfterAWriteTheFocusIsBackInTheFieldTypedIn) {
    workflows::DisposableWindow window(state, host, Fixed());
    window.show();
    window.activateWindow();
    Insert(BlankCard(), window);
    auto* credit = Find<QLineEdit>(&window, "txtcredit");
    auto* nbcredit = Find<QLineEdit>(&window, "txtnbcredit");
    const auto type = [](QLineEdit* field, const QString& text) {
        field->setFocus(Qt::MouseFocusReason);
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(field, &key);
    };
    const auto press = [](QPushButton* button) {
        button->setFocus(Qt::MouseFocusReason); // as a mouse click does
        button->click();
    };
    type(credit, "7");
    press(Find<QPushButton>(&window, "cmdWriteValueDisposable"));
    EXPECT_EQ(window.focusWidget(), credit);
    Remove(window);
    Insert(BlankCard(), window);
    type(nbcredit, "9");
    press(Find<QPushButton>(&window, "cmdWriteBlankDisposable"));
    EXPECT_EQ(window.focusWidget(), nbcredit);
}

TEST_F(WindowTest, AnInsertedCardFillsItsFieldAndARefusalTurnsRed) {
    workflows::DisposableWindow window(state, host, Fixed());
    auto token = BlankCard();
    token->chip().memory()[64] = 0;
    token->chip().memory()[65] = 12;
    Insert(token, window);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "carte JETON");
    EXPECT_EQ(Find<QLineEdit>(&window, "txtcredit")->text(), "12");
    EXPECT_EQ(Led(&window), kYellow);
    Remove(window);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "Introduire carte à écrire");
    EXPECT_EQ(Led(&window), kGreen);

    auto other = FormattedCard();
    other->chip().setCode(0x010203);
    Insert(other, window);
    EXPECT_EQ(Led(&window), kRed);
    EXPECT_EQ(LabelText(&window, "lblInfo"),
              "Carte vérouillée. Nombre de tentative restante = 2, Retirez la carte");

    // Without a card the buttons say so and touch nothing.
    Remove(window);
    int exchanges = 0;
    spy.onExchange = [&] { ++exchanges; };
    Find<QPushButton>(&window, "cmdWriteBlankDisposable")->click();
    EXPECT_EQ(exchanges, 0);
    EXPECT_EQ(LabelText(&window, "lblInfo"), "Aucune carte lue : introduisez la carte à écrire");
}

TEST_F(WindowTest, WhatAnotherProgramHoldsIsAwaitedWhileTheWindowAnswers) {
    const struct {
        std::string kind; // what the other program holds
        const char* waitingText;
        const char* refusal;
    } cases[] = {
        {"config", "configuration occupée, attente…",
         "Configuration occupée par un autre programme : aucune carte n'est écrite"},
        {"journal", "journal occupé, attente…",
         "Journal occupé par un autre programme : aucune carte n'est écrite"},
    };
    for (const auto& c : cases) {
        // Let go while awaited, then the card is formatted; or held past the limit, and the card
        // is refused untouched.
        for (const bool letGo : {true, false}) {
            const std::string name = c.kind + (letGo ? "-let-go" : "-held");
            const std::string configFile = (dir / (name + ".ini")).string();
            journal::SqliteJournal records((dir / (name + ".sqlite")).string());
            std::string error;
            ASSERT_TRUE(records.Open(error)) << error;
            base::Waiting waiting(letGo ? std::chrono::milliseconds(60000)
                                        : std::chrono::milliseconds(300));
            records.SetWaiting(&waiting);
            workflows::WorkflowOptions options = Fixed();
            options.journal = {&records, "tests", "sim"};
            options.waiting = &waiting;
            HeldElsewhere holder(OSTREL_HOLD_LOCK, c.kind,
                                 c.kind == "config" ? configFile + ".lock" : records.Location());
            ASSERT_TRUE(holder.held()) << name;
            workflows::FormatWindow window(state, host, configFile, options);
            auto card = BlankCard();
            const card::CardMemory before = card->chip().memory();
            host.waits.clear();
            Insert(card, window); // returns while the other program still holds it
            EXPECT_TRUE(window.workflow().pending()) << name;

            int ticks = 0;
            QTimer tick;
            QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
            tick.start(10);
            bool toldWaiting = false;
            for (int spins = 0; window.workflow().pending() && spins < 3000; ++spins) {
                SpinEvents(20);
                toldWaiting = toldWaiting || std::find(host.waits.begin(), host.waits.end(),
                                                       c.waitingText) != host.waits.end();
                if (letGo && toldWaiting)
                    holder.Release();
            }
            EXPECT_FALSE(window.workflow().pending()) << name;
            EXPECT_GT(ticks, 0) << name << ": the window's timers fired meanwhile";
            EXPECT_TRUE(toldWaiting) << name;
            EXPECT_EQ(host.waits.back(), "") << name << ": the status line no longer waits";
            if (letGo) {
                EXPECT_EQ(LabelText(&window, "lblInfo"), "Formatage OK, retirez la carte") << name;
                EXPECT_EQ(card::ReadCardLong(card->chip().memory(), 13), 1000000) << name;
            } else {
                EXPECT_EQ(LabelText(&window, "lblInfo"), c.refusal) << name;
                EXPECT_EQ(card->chip().memory(), before) << name;
                EXPECT_EQ(card->chip().errorCounter(), 7) << name;
                EXPECT_EQ(window.workflow().nextSerialText(), "1000000") << name;
                EXPECT_NE(window.workflow().problem().find(std::to_string(holder.pid())),
                          std::string::npos)
                    << window.workflow().problem();
            }
            holder.Release();
            Remove(window);
        }
    }
}
