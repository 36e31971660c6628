#include "../temp_folder.h"

#include "card/card_layout.h"
#include "card_history_view.h"
#include "journal/sqlite_journal.h"
#include "journal_window.h"
#include "main_kestrix.h"
#include "menu_model.h"
#include "reader/simulated_reader.h"
#include "window_test_support.h"
#include "workflows/opposition.h"
#include "workflows/workflow_texts.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// A card written and verified: formatted (no credits) or given credits.
journal::Entry Written(std::int64_t serial, const char* operation, int credits) {
    journal::Entry e;
    e.station = "Guichet 1";
    e.program = "ostrel-admin";
    e.operation = operation;
    (operation == std::string(journal::kFormat) ? e.serialNew : e.serialOld) = serial;
    e.outcome = journal::kVerified;
    e.after = std::string(card::kCardSize, '\xFF');
    if (credits > 0) {
        e.after[card::layout::kDisposableKind] = static_cast<char>(card::layout::kKindCredit);
        e.after[card::layout::kDisposableValue] = static_cast<char>(credits);
    }
    return e;
}

// Answers the opposition dialog once it shows: OK with no reason first, which leaves it open
// and says why (kept in refusal), then OK with reason.
void AnswerReasonDialog(const QString& reason, QString& refusal) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, reason, &refusal] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != "dlgOpposition")
            return;
        timer->stop();
        timer->deleteLater();
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ok->click();
        if (dialog->isVisible())
            refusal = dialog->findChild<QLabel*>("lblReasonRefusal")->text();
        dialog->findChild<QLineEdit*>("txtReason")->setText(reason);
        ok->click();
    });
    timer->start();
}

} // namespace

// In the running program, on a journal file: a card put in opposition from its history with a
// reason (none is refused in the dialog), lifted; a replacement refused for a card that holds no
// credits, asked again on confirmation for a card in opposition, opened in the format window,
// and refused while that window is open.
TEST(CardHistory, OppositionsAndReplacementsFromTheHistory) {
    TempFolder dir("ostrel-history-actions");
    journal::SqliteJournal records(dir.path("j.sqlite"));
    std::int64_t id = 0;
    std::string error;
    ASSERT_TRUE(records.Add(Written(1000000, journal::kFormat, 0), id, error)) << error;
    ASSERT_TRUE(records.Add(Written(1000001, journal::kCredit, 20), id, error)) << error;
    const journal::Writer writer{&records, "ostrel-admin", "sim", "Guichet 2"};

    reader::SimulatedReader simulated;
    reader::SharedState state(simulated);
    app::AppOptions options;
    options.configFile = dir.path("c.ini");
    app::MainKestrix main(state, app::MakeWorkflowFactories(options, writer));
    main.findChild<QTimer*>("tmrReader")->stop();
    main.monitor().tick(); // the reader opened, no card in it
    main.show();
    main.findChild<QAction*>("MNU_JOURNAL")->trigger();
    auto* window = main.findChild<app::JournalWindow*>("frmJournal");
    ASSERT_NE(window, nullptr);
    app::CardHistoryView* history = window->history();
    std::vector<QString> told;
    std::vector<QString> asked;
    bool agree = false;
    history->tell = [&](const QString& text) { told.push_back(text); };
    history->confirm = [&](const QString& question) {
        asked.push_back(question);
        return agree;
    };
    const auto settled = [&] {
        for (int spins = 0; window->reading() && spins < 3000; ++spins)
            QTest::qWait(10);
        return !window->reading();
    };
    const auto button = [&](const char* name) { return history->findChild<QPushButton*>(name); };
    const auto rows = [&](std::int64_t serial) {
        std::vector<journal::Entry> found;
        std::string why;
        EXPECT_TRUE(records.History(serial, found, why)) << why;
        return found;
    };
    const auto show = [&](const char* serial) {
        history->findChild<QLineEdit*>("txtHistorySerial")->setText(serial);
        history->Refresh();
        return settled();
    };

    ASSERT_TRUE(show("1000000"));
    EXPECT_FALSE(button("cmdOppose")->isHidden());
    EXPECT_TRUE(button("cmdOppose")->isEnabled());
    EXPECT_TRUE(button("cmdLift")->isHidden());
    QString refusal;
    AnswerReasonDialog("perdue", refusal);
    button("cmdOppose")->click();
    ASSERT_TRUE(settled());
    EXPECT_FALSE(refusal.isEmpty()) << "an opposition without a reason stays in the dialog";
    std::vector<journal::Entry> found = rows(1000000);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].operation, journal::kOpposition);
    EXPECT_EQ(found[1].reason, "perdue");
    EXPECT_EQ(found[1].station, "Guichet 2");
    EXPECT_EQ(history->findChild<QTableWidget*>("lstHistory")->rowCount(), 2);
    const QString said = history->findChild<QLabel*>("lblHistoryInfo")->text();
    EXPECT_TRUE(said.contains("Carte en opposition depuis ") && said.endsWith(" : perdue"))
        << said.toStdString();
    EXPECT_TRUE(button("cmdOppose")->isHidden());
    EXPECT_FALSE(button("cmdLift")->isHidden());

    button("cmdReplace")->click();
    ASSERT_TRUE(settled());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0],
              "carte 1000000 : sa dernière écriture ne porte aucun crédit, rien à reporter");
    EXPECT_TRUE(asked.empty());

    button("cmdLift")->click();
    ASSERT_TRUE(settled());
    found = rows(1000000);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2].operation, journal::kLift);
    EXPECT_FALSE(button("cmdOppose")->isHidden());
    EXPECT_TRUE(button("cmdLift")->isHidden());

    // A card in opposition for another reason is replaced only once the operator agrees.
    ASSERT_TRUE(workflows::Oppose(writer, 1000001, "volée", error)) << error;
    ASSERT_TRUE(show("1000001"));
    button("cmdReplace")->click();
    ASSERT_TRUE(settled());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].startsWith("Carte en opposition depuis ")) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].contains(": volée")) << asked[0].toStdString();
    EXPECT_EQ(ChildWindow(main.mdiArea(), "frmFormat"), nullptr);
    agree = true;
    button("cmdReplace")->click();
    ASSERT_TRUE(settled());
    QMdiSubWindow* format = ChildWindow(main.mdiArea(), "frmFormat");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(main.mdiArea()->activeSubWindow(), format);
    EXPECT_EQ(format->widget()->findChild<QLabel*>("lblInfo")->text(),
              "Introduire une carte vierge pour remplacer la carte 1000001");
    EXPECT_TRUE(state.FormatActive);
    button("cmdReplace")->click();
    ASSERT_TRUE(settled());
    EXPECT_EQ(told.back(), app::kTextCloseWorkflow);
    EXPECT_EQ(told.size(), 2u);
    EXPECT_EQ(rows(1000001).size(), 2u) << "nothing is written before the blank card";
}
