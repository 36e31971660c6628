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

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

// Answers the opposition dialog once it shows: OK with no reason, which must leave it open and
// say why (kept in refusal), then OK with reason.
void AnswerReasonDialog(const QString& reason, QString& refusal) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, reason, &refusal] {
        auto* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != "dlgOpposition")
            return;
        timer->deleteLater();
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ok->click();
        if (dialog->isVisible())
            refusal = dialog->findChild<QLabel*>("lblReasonRefusal")->text();
        dialog->findChild<QLineEdit*>("txtReason")->setText(reason);
        ok->click();
    });
    timer->start(10);
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
    // 1000000 formatted, without credits; 1000001 given 20.
    journal::Entry written;
    written.operation = journal::kFormat;
    written.serialNew = 1000000;
    written.outcome = journal::kVerified;
    written.after = std::string(card::kCardSize, '\xFF');
    ASSERT_TRUE(records.Add(written, id, error)) << error;
    written.operation = journal::kCredit;
    written.serialNew.reset();
    written.serialOld = 1000001;
    written.after[card::layout::kDisposableKind] = static_cast<char>(card::layout::kKindCredit);
    written.after[card::layout::kDisposableValue] = 20;
    ASSERT_TRUE(records.Add(written, id, error)) << error;
    const journal::Writer writer{&records, "ostrel-admin", "sim", "Guichet 2"};
    reader::SimulatedReader simulated;
    reader::SharedState state(simulated);
    app::AppOptions options;
    options.configFile = dir.path("c.ini");
    app::MainKestrix main(state, app::MakeWorkflowFactories(options, writer));
    main.findChild<QTimer*>("tmrReader")->stop();
    main.monitor().tick(); // the reader opened, no card in it
    main.findChild<QAction*>("MNU_JOURNAL")->trigger();
    auto* window = main.findChild<app::JournalWindow*>("frmJournal");
    ASSERT_NE(window, nullptr);
    app::CardHistoryView* history = window->history();
    std::vector<QString> told, asked;
    bool agree = false;
    history->tell = [&](const QString& text) { told.push_back(text); };
    history->confirm = [&](const QString& question) {
        asked.push_back(question);
        return agree;
    };
    const auto settle = [&] {
        for (int spins = 0; window->reading() && spins < 3000; ++spins)
            QTest::qWait(10);
    };
    const auto click = [&](const char* name) {
        history->findChild<QPushButton*>(name)->click();
        settle();
    };
    const auto shown = [&](const char* name) {
        return !history->findChild<QPushButton*>(name)->isHidden();
    };
    const auto rows = [&](std::int64_t serial) {
        std::vector<journal::Entry> found;
        EXPECT_TRUE(records.History(serial, found, error)) << error;
        return found;
    };
    const auto show = [&](const char* serial) {
        history->findChild<QLineEdit*>("txtHistorySerial")->setText(serial);
        history->Refresh();
        settle();
    };

    show("1000000");
    QString refusal;
    AnswerReasonDialog("perdue", refusal);
    click("cmdOppose");
    EXPECT_FALSE(refusal.isEmpty()) << "an opposition without a reason stays in the dialog";
    std::vector<journal::Entry> found = rows(1000000);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].operation + " " + found[1].reason + " " + found[1].station,
              "opposition perdue Guichet 2");
    EXPECT_TRUE(history->findChild<QLabel*>("lblHistoryInfo")->text().endsWith(" : perdue"));
    EXPECT_TRUE(!shown("cmdOppose") && shown("cmdLift"));
    click("cmdReplace");
    EXPECT_EQ(told, std::vector<QString>{"carte 1000000 : sa dernière écriture ne porte aucun "
                                         "crédit, rien à reporter"});
    click("cmdLift");
    found = rows(1000000);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2].operation, journal::kLift);
    EXPECT_TRUE(shown("cmdOppose") && !shown("cmdLift"));

    // A card in opposition for another reason is replaced only once the operator agrees.
    ASSERT_TRUE(workflows::Oppose(writer, 1000001, "volée", error)) << error;
    show("1000001");
    click("cmdReplace");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].startsWith("Carte en opposition depuis ")) << asked[0].toStdString();
    EXPECT_EQ(ChildWindow(main.mdiArea(), "frmFormat"), nullptr);
    agree = true;
    click("cmdReplace");
    QMdiSubWindow* format = ChildWindow(main.mdiArea(), "frmFormat");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->widget()->findChild<QLabel*>("lblInfo")->text(),
              "Introduire une carte vierge pour remplacer la carte 1000001");
    click("cmdReplace");
    EXPECT_EQ(told.back(), app::kTextCloseWorkflow);
}
