#include "../held_elsewhere.h"
#include "../scripted_day.h"
#include "app_test_cards.h"

#include "daily_totals_view.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"
#include "journal/readable_fields.h"
#include "journal/sqlite_journal.h"
#include "journal_window.h"
#include "operations_model.h"
#include "reader/simulated_reader.h"
#include "workflows/format_window.h"
#include "workflows/workflow_host.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineSeries>
#include <QProcess>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sstream>

using namespace ostrel;

namespace {

journal::Entry Format(std::int64_t serial, const char* outcome) {
    journal::Entry e;
    e.program = "ostrel-admin";
    e.reader = "sim";
    e.operation = journal::kFormat;
    e.serialNew = serial;
    e.supplier = 0x35;
    e.outcome = outcome;
    e.before = std::string(256, '\xFF');
    return e;
}

// The window reads the journal beside its thread: its events are processed until every read has
// ended, for a bounded while.
QString Cell(const QTableView* table, int row, int column) {
    return table->model()->index(row, column).data().toString();
}

bool ReadsEnd(const app::JournalWindow& window) {
    for (int spins = 0; window.reading() && spins < 3000; ++spins)
        QTest::qWait(10);
    return !window.reading();
}

} // namespace

TEST(JournalWindow, ShowsNewestFirstFiltersBySerialAndExportsCsv) {
    QTemporaryDir dir;
    journal::SqliteJournal records((dir.path() + "/j.sqlite").toStdString());
    std::int64_t id = 0;
    std::string error;
    ASSERT_TRUE(records.Add(Format(1000000, journal::kVerified), id, error)) << error;
    ASSERT_TRUE(records.Add(Format(1000001, journal::kInterrupted), id, error)) << error;
    journal::Entry credit = Format(0, journal::kVerified);
    credit.operation = journal::kCredit;
    credit.serialNew.reset();
    credit.serialOld = 1000000;
    credit.kind = 1;
    credit.credits = 9;
    credit.station = "Guichet 2";
    ASSERT_TRUE(records.Add(credit, id, error)) << error;

    app::JournalWindow window(&records);
    ASSERT_TRUE(ReadsEnd(window));
    auto* table = window.findChild<QTableView*>("lstJournal");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(Cell(table, 0, 2), "Guichet 2");
    EXPECT_EQ(Cell(table, 0, 5), "crédit");
    EXPECT_EQ(Cell(table, 1, 6), "1000001");
    EXPECT_EQ(Cell(table, 1, 12), "interrompue");
    EXPECT_EQ(Cell(table, 2, 8), "35");
    EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The serial a card received or held.
    window.findChild<QLineEdit*>("txtSerialFilter")->setText("1000000");
    ASSERT_TRUE(ReadsEnd(window));
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(Cell(table, 0, 5), "crédit");
    EXPECT_EQ(Cell(table, 1, 5), "formatage");

    const QString csv = dir.path() + "/export.csv";
    window.chooseExportFile = [&] { return csv; };
    window.findChild<QPushButton*>("cmdExport")->click();
    ASSERT_TRUE(ReadsEnd(window));
    std::ifstream in(csv.toStdString(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string exported = text.str();
    EXPECT_EQ(exported.substr(0, exported.find("\r\n")),
              "\xEF\xBB\xBFn°;heure (UTC);poste;programme;lecteur;opération;série;série ancienne;"
              "fournisseur;type;crédits;essais restants;issue;carte avant;carte après");
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 3); // header and two rows
    EXPECT_NE(exported.find(";crédit;;1000000;35;1;9;;écrite et vérifiée;" + std::string(512, 'F')),
              std::string::npos)
        << exported;
    EXPECT_TRUE(window.findChild<QLabel*>("lblInfo")->text().contains("exportée"));

    window.findChild<QLineEdit*>("txtSerialFilter")->setText("12x");
    EXPECT_EQ(table->model()->rowCount(), 0);
}

namespace {

// The exported file as a spreadsheet would read it: Python's csv module, its rows as JSON.
QJsonArray ReadCsv(const QString& file, const char* separator) {
    QProcess python;
    python.start("python3", {"-c",
                             "import csv, json, sys\n"
                             "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                             "    print(json.dumps(list(csv.reader(f, delimiter=sys.argv[2]))))\n",
                             file, separator});
    if (!python.waitForFinished(20000) || python.exitCode() != 0) {
        ADD_FAILURE() << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// The bytes shown marked, both sides counted.
int Marked(const QTextEdit* bytes) {
    int digits = 0;
    for (QTextBlock block = bytes->document()->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            if (fragment.fragment().charFormat().background().color() == QColor("#ffd54f"))
                digits += fragment.fragment().length();
        }
    }
    return digits / 2;
}

} // namespace

// The day of the command-line tests, seen in the window: a card's history with its bytes, the
// totals and their chart, the rows in the operator's words and time.
TEST(JournalWindow, TheScriptedDayShowsItsHistoriesAndTotals) {
    TempFolder dir("ostrel-window-day");
    const ScriptedDay day(dir);
    ASSERT_EQ(day.Run(), (std::vector<int>{1, 1, 0, 0, 0, 0, 1, 1}));
    journal::SqliteJournal records(day.journal());
    app::JournalWindow window(&records);
    ASSERT_TRUE(ReadsEnd(window));
    auto* table = window.findChild<QTableView*>("lstJournal");
    ASSERT_EQ(table->model()->rowCount(), 9);
    const auto cell = [table](int row, int column) {
        return table->model()->index(row, column).data().toString();
    };
    EXPECT_EQ(cell(7, 12), "non présenté (dernier essai)");
    EXPECT_EQ(cell(7, 11), "1");
    EXPECT_EQ(cell(8, 12), "carte verrouillée");
    EXPECT_EQ(cell(8, 11), "0");
    std::vector<journal::Entry> entries;
    std::string error;
    ASSERT_TRUE(records.List({}, entries, error));
    // Newest first: the failed token write, the refusal, the token card, the credit card...
    EXPECT_EQ(Cell(table, 0, 1).toStdString(), journal::LocalTimeText(entries[0].time));
    EXPECT_EQ(Cell(table, 0, 7), ""); // a blank card holds no serial
    EXPECT_EQ(Cell(table, 2, 9), "jeton");
    EXPECT_EQ(Cell(table, 3, 7), "1000000");
    EXPECT_EQ(Cell(table, 3, 9), "crédit");
    EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "heure");

    // The credit card's history: formatted, rewritten, credited, oldest first.
    table->selectRow(3);
    window.findChild<QPushButton*>("cmdHistory")->click();
    ASSERT_TRUE(ReadsEnd(window));
    auto* tabs = window.findChild<QTabWidget*>("tabsJournal");
    EXPECT_EQ(tabs->currentWidget()->objectName(), "viewHistory");
    auto* history = window.findChild<QTableWidget*>("lstHistory");
    ASSERT_EQ(history->rowCount(), 3);
    EXPECT_EQ(history->item(0, 5)->text(), "formatage");
    EXPECT_EQ(history->item(1, 5)->text(), "réécriture");
    EXPECT_EQ(history->item(2, 5)->text(), "crédit");
    EXPECT_EQ(history->selectedRanges().at(0).topRow(), 2);
    auto* bytes = window.findChild<QTextEdit*>("txtBytes");
    EXPECT_EQ(Marked(bytes), 2 * 2) << "bytes 64 and 65, on both sides";
    EXPECT_TRUE(bytes->toPlainText().contains("04: 010CFFFF FFFFFFFF FFFFFFFF FFFFFFFF"));
    EXPECT_TRUE(bytes->toPlainText().contains("2 octet(s) changé(s)"));
    history->selectRow(0);
    EXPECT_EQ(Marked(bytes), 2 * 10);
    // A blank card written as a token card has no serial: its operation alone.
    tabs->setCurrentIndex(0);
    table->selectRow(2);
    window.findChild<QPushButton*>("cmdHistory")->click();
    ASSERT_TRUE(ReadsEnd(window));
    EXPECT_EQ(history->rowCount(), 1);

    // Today's totals, then a range without operations: the table and the chart follow.
    auto* totals = window.findChild<app::DailyTotalsView*>("viewTotals");
    const QDate today =
        QDate::fromString(QString::fromStdString(journal::LocalToday()), "yyyy-MM-dd");
    totals->SetRange(today.addDays(-1), today);
    ASSERT_TRUE(ReadsEnd(window));
    auto* sums = window.findChild<QTableWidget*>("lstTotals");
    ASSERT_EQ(sums->rowCount(), 2);
    QStringList figures;
    for (int column = 0; column < sums->columnCount(); ++column)
        figures << sums->item(1, column)->text();
    EXPECT_EQ(figures.join(' ').toStdString(), "total 2 1 1 12 1 0 1 0 0 0 0 1 1 0 1 1 0 0 0 0");
    auto* chart = window.findChild<QChartView*>("chartTotals")->chart();
    auto* bars = qobject_cast<QBarSeries*>(chart->series().value(0));
    ASSERT_NE(bars, nullptr);
    QStringList shown;
    for (const QBarSet* set : bars->barSets())
        shown << set->label() + "=" + QString::number(set->at(0));
    EXPECT_EQ(shown.join(", "), "formatées=2, réécrites=1, cartes crédit=1, cartes jeton=1, "
                                "codes refusés=1, échecs d'écriture=1, cartes verrouillées=1, "
                                "non présentés (dernier essai)=1");
    auto* credits = qobject_cast<QLineSeries*>(chart->series().value(1));
    ASSERT_NE(credits, nullptr);
    EXPECT_EQ(credits->at(0).y(), 12);
    // Whole numbers from 0, in steps that end on the top: 12 credits on 0, 5, 10, 15.
    const auto axisSteps = [&](const char* name) {
        for (QAbstractAxis* shown : chart->axes()) {
            const auto* axis = qobject_cast<QValueAxis*>(shown);
            if (!axis || axis->objectName() != name)
                continue;
            return std::vector<double>{axis->min(), axis->max(), axis->tickInterval(),
                                       axis->tickAnchor()};
        }
        return std::vector<double>{};
    };
    EXPECT_EQ(axisSteps("axisCredits"), (std::vector<double>{0, 15, 5, 0}));
    EXPECT_EQ(axisSteps("axisCards"), (std::vector<double>{0, 2, 1, 0}));
    auto* days = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
    ASSERT_NE(days, nullptr);
    EXPECT_EQ(days->categories(), QStringList{today.toString("yyyy-MM-dd")});
    totals->SetRange(QDate(2000, 1, 1), QDate(2000, 1, 31));
    ASSERT_TRUE(ReadsEnd(window));
    EXPECT_EQ(sums->rowCount(), 1);
    bars = qobject_cast<QBarSeries*>(chart->series().value(0));
    ASSERT_NE(bars, nullptr);
    EXPECT_EQ(bars->barSets().at(0)->count(), 0);
    EXPECT_EQ(axisSteps("axisCredits"), (std::vector<double>{0, 1, 1, 0}));
}

// What the desktop writes for a spreadsheet reads back cell for cell: a byte-order mark, ";"
// between cells, quotes, separators and line breaks kept inside them.
TEST(JournalWindow, TheExportReadsBackCellForCell) {
    TempFolder dir("ostrel-csv");
    journal::SqliteJournal records(dir.path("j.sqlite"));
    journal::Entry awkward = Format(1000000, journal::kVerified);
    awkward.program = "a,b;c";
    awkward.reader = "lecteur \"USB\"\nsecond ligne\r\nfin";
    std::int64_t id = 0;
    std::string error;
    ASSERT_TRUE(records.Add(awkward, id, error)) << error;
    ASSERT_TRUE(records.Add(Format(1000001, journal::kWriteFailed), id, error)) << error;
    app::JournalWindow window(&records);
    ASSERT_TRUE(ReadsEnd(window));
    const QString file = QString::fromStdString(dir.path("export.csv"));
    window.chooseExportFile = [&] { return file; };
    window.findChild<QPushButton*>("cmdExport")->click();
    ASSERT_TRUE(ReadsEnd(window));
    EXPECT_EQ(dir.read("export.csv").substr(0, 5), "\xEF\xBB\xBFn\xC2");

    std::vector<journal::Entry> entries;
    ASSERT_TRUE(records.List({}, entries, error));
    const QJsonArray rows = ReadCsv(file, ";");
    ASSERT_EQ(rows.size(), 3);
    for (int r = 0; r < 3; ++r) {
        const std::vector<std::string> expected =
            r == 0 ? journal::ColumnNames() : journal::EntryFields(entries[r - 1]);
        std::vector<std::string> read;
        for (const auto& cell : rows[r].toArray())
            read.push_back(cell.toString().toStdString());
        EXPECT_EQ(read, expected) << "row " << r;
    }
}

// Another program holds the journal: the window answers meanwhile and says it waits; let go, the
// table fills; held past the limit, each view shows the refusal naming the holder.
TEST(JournalWindow, AJournalHeldElsewhereIsAwaitedWhileTheWindowAnswers) {
    for (const bool letGo : {true, false}) {
        const std::string name = letGo ? "let-go" : "held";
        TempFolder dir("ostrel-journal-held");
        journal::SqliteJournal records(dir.path(name + ".sqlite"));
        std::int64_t id = 0;
        std::string error;
        ASSERT_TRUE(records.Add(Format(1000000, journal::kVerified), id, error)) << error;
        base::Waiting waiting(letGo ? std::chrono::milliseconds(60000)
                                    : std::chrono::milliseconds(300));
        records.SetWaiting(&waiting);
        HeldElsewhere holder(OSTREL_HOLD_LOCK, "journal", records.Location());
        ASSERT_TRUE(holder.held()) << name;

        app::JournalWindow window(&records, &waiting); // returns while the journal is held
        EXPECT_TRUE(window.reading()) << name;
        auto* info = window.findChild<QLabel*>("lblInfo");
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(10);
        bool toldWaiting = false;
        for (int spins = 0; window.reading() && spins < 3000; ++spins) {
            QTest::qWait(10);
            toldWaiting = toldWaiting || info->text() == "journal occupé, attente…";
            if (letGo && toldWaiting)
                holder.Release();
        }
        EXPECT_FALSE(window.reading()) << name;
        EXPECT_GT(ticks, 0) << name << ": the window's timers fired meanwhile";
        EXPECT_TRUE(toldWaiting) << name;
        const QString totalsInfo = window.findChild<QLabel*>("lblTotalsInfo")->text();
        if (letGo) {
            EXPECT_EQ(window.findChild<QTableView*>("lstJournal")->model()->rowCount(), 1);
            EXPECT_TRUE(info->text().startsWith("1 opération(s)")) << info->text().toStdString();
            EXPECT_TRUE(totalsInfo.contains("jour(s) avec des opérations"))
                << totalsInfo.toStdString();
        } else {
            for (const QString& refusal : {info->text(), totalsInfo}) {
                EXPECT_TRUE(
                    refusal.contains("occupé par le processus " + QString::number(holder.pid())))
                    << refusal.toStdString();
            }
            EXPECT_EQ(window.findChild<QTableView*>("lstJournal")->model()->rowCount(), 0);
        }
    }
}

// Each wait has its own call-off: closing the Journal window while both it and a format wait on
// a journal another program holds ends the window's read only; the format goes on once the
// journal is let go.
TEST(JournalWindow, ClosingItWhileAFormatWaitsLeavesTheFormatWaiting) {
    struct Host : workflows::WorkflowHost {
        void EnableMenu(bool) override {}
    } host;
    TempFolder dir("ostrel-journal-close");
    journal::SqliteJournal records(dir.path("j.sqlite"));
    std::int64_t id = 0;
    std::string error;
    ASSERT_TRUE(records.Add(Format(999999, journal::kVerified), id, error)) << error;
    base::Waiting waiting(std::chrono::milliseconds(60000));
    records.SetWaiting(&waiting);
    reader::SimulatedReader simulator;
    reader::SharedState state(simulator);
    state.ReaderHandle = simulator.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
    workflows::WorkflowOptions options;
    options.journal = {&records, "tests", "sim"};
    options.waiting = &waiting;
    workflows::FormatWindow format(state, host, dir.path("c.ini"), options);

    HeldElsewhere holder(OSTREL_HOLD_LOCK, "journal", records.Location());
    ASSERT_TRUE(holder.held());
    auto journalWindow = std::make_unique<app::JournalWindow>(&records, &waiting);
    EXPECT_TRUE(journalWindow->reading());
    auto card = TestBlankCard();
    simulator.insertCard(card);
    state.ReaderState = reader::kReaderCardInside;
    format.CardInserted();
    ASSERT_TRUE(format.workflow().pending());
    for (int spins = 0; waiting.what().empty() && spins < 300; ++spins)
        QTest::qWait(10);
    journalWindow.reset();
    QTest::qWait(100);
    EXPECT_TRUE(format.workflow().pending()) << "the format was called off with the window";

    holder.Release();
    for (int spins = 0; format.workflow().pending() && spins < 3000; ++spins)
        QTest::qWait(10);
    EXPECT_EQ(format.findChild<QLabel*>("lblInfo")->text(), "Formatage OK, retirez la carte");
    EXPECT_EQ(card::ReadCardLong(card->chip().memory(), card::layout::kSerialOffset), 1000000);
}

// A journal of some thousand rows: a page is read only when the table scrolls to it, each
// filter is applied by the journal, and the count says "plus de" past its cap.
TEST(JournalWindow, OperationsArePagedAsTheTableScrollsAndFiltered) {
    TempFolder dir("ostrel-journal-pages");
    journal::SqliteJournal records(dir.path("j.sqlite"));
    std::string error;
    ASSERT_TRUE(records.Open(error)) << error;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(records.Location().c_str(), &db), SQLITE_OK);
        std::string sql = "BEGIN;";
        for (int i = 0; i < 3000; ++i) {
            char time[32];
            std::snprintf(time, sizeof time, "2026-11-%02dT%02d:%02d:00Z", 1 + i / 200,
                          i % 200 / 10, i % 10 * 5);
            sql += std::string("INSERT INTO operations(time, program, reader, operation, "
                               "serial_old, credits, outcome, station, card_before) VALUES('") +
                   time + "', 'p', 'r', '" + (i % 3 == 0 ? "jeton" : "crédit") + "', " +
                   (i % 3 == 0 ? "NULL" : std::to_string(5000 + i % 7)) + ", 9, '" +
                   (i % 10 == 0 ? "code refusé" : "écrite et vérifiée") + "', 'G" +
                   std::to_string(i % 2) + "', zeroblob(256));";
        }
        ASSERT_EQ(sqlite3_exec(db, (sql + "COMMIT").c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    app::JournalWindow window(&records);
    window.operations()->SetCountCap(2500);
    window.resize(1000, 560);
    window.show();
    window.Refresh();
    ASSERT_TRUE(ReadsEnd(window));
    auto* table = window.findChild<QTableView*>("lstJournal");
    auto* info = window.findChild<QLabel*>("lblInfo");
    const app::OperationsModel* model = window.operations();
    EXPECT_EQ(model->rowCount(), 200);
    EXPECT_EQ(model->pagesRead(), 1);
    EXPECT_TRUE(info->text().startsWith("plus de 2500 opération(s)")) << info->text().toStdString();
    EXPECT_EQ(Cell(table, 0, 1).toStdString(), journal::LocalTimeText("2026-11-15T19:45:00Z"));
    QTest::qWait(50);
    EXPECT_EQ(model->pagesRead(), 1) << "nothing read before the table scrolls";

    table->scrollToBottom();
    ASSERT_TRUE(ReadsEnd(window));
    EXPECT_EQ(model->rowCount(), 400);
    std::int64_t previous = model->EntryAt(0)->id + 1;
    for (int row = 0; row < model->rowCount(); ++row) {
        ASSERT_EQ(model->EntryAt(row)->id, previous - 1) << "row " << row;
        previous = model->EntryAt(row)->id;
        EXPECT_TRUE(model->EntryAt(row)->before.empty()) << "no images in a page";
    }
    for (int page = 0; page < 20 && model->canFetchMore({}); ++page) {
        table->scrollToBottom();
        ASSERT_TRUE(ReadsEnd(window));
    }
    EXPECT_EQ(model->rowCount(), 3000);
    EXPECT_EQ(model->pagesRead(), 16);

    // Refused token codes of station G0, on 2026-11-03 and 2026-11-04 local time.
    window.findChild<QComboBox*>("cmbOperationFilter")->setCurrentText("jeton");
    window.findChild<QComboBox*>("cmbOutcomeFilter")->setCurrentText("code refusé");
    auto* station = window.findChild<QLineEdit*>("txtStationFilter");
    station->setText("G0");
    emit station->editingFinished();
    auto* from = window.findChild<QLineEdit*>("txtFromFilter");
    from->setText("2026-11-03");
    emit from->editingFinished();
    auto* until = window.findChild<QLineEdit*>("txtUntilFilter");
    until->setText("2026-11-04");
    emit until->editingFinished();
    ASSERT_TRUE(ReadsEnd(window));
    std::vector<journal::Entry> all;
    ASSERT_TRUE(records.List({}, all, error)) << error;
    journal::RowFilter filter;
    filter.operation = journal::kToken;
    filter.outcome = journal::kRefused;
    filter.station = "G0";
    filter.from = journal::LocalDayStart("2026-11-03");
    filter.before = journal::LocalDayStart("2026-11-05");
    std::erase_if(all, [&](const journal::Entry& e) { return !journal::RowMatches(e, filter); });
    ASSERT_FALSE(all.empty());
    ASSERT_EQ(model->rowCount(), static_cast<int>(all.size()));
    for (int row = 0; row < model->rowCount(); ++row)
        EXPECT_EQ(model->EntryAt(row)->id, all[static_cast<std::size_t>(row)].id);
    EXPECT_TRUE(info->text().startsWith(QString::number(all.size()) + " opération(s)"));

    // A token card holds no serial: its operation alone, with the images read when chosen.
    table->selectRow(0);
    window.findChild<QPushButton*>("cmdHistory")->click();
    ASSERT_TRUE(ReadsEnd(window));
    EXPECT_EQ(window.findChild<QTableWidget*>("lstHistory")->rowCount(), 1);
    EXPECT_TRUE(window.findChild<QTextEdit*>("txtBytes")
                    ->toPlainText()
                    .contains("00: 00000000 00000000 00000000 00000000"));
}

// "Totaux" by station: all together, one row a day and station with the station after the
// day (the chart still one group a day), or one station's rows, kept chosen in a range without
// it; the stations offered are those the range saw, and the export follows the choice.
TEST(JournalWindow, TotalsAreChosenByStation) {
    TempFolder dir("ostrel-totals-stations");
    journal::SqliteJournal records(dir.path("j.sqlite"));
    std::int64_t id = 0;
    std::string error;
    for (const char* station : {"Guichet 1", "Guichet 1", "Guichet 2"}) {
        journal::Entry format = Format(1000000 + id, journal::kVerified);
        format.station = station;
        ASSERT_TRUE(records.Add(format, id, error)) << error;
    }
    journal::Entry opposition = Format(1000000, journal::kRecorded);
    opposition.station = "Guichet 2";
    opposition.operation = journal::kOpposition;
    std::swap(opposition.serialNew, opposition.serialOld);
    opposition.reason = "perdue";
    ASSERT_TRUE(records.Record(opposition, id, error)) << error;
    app::DailyTotalsView view(&records);
    const auto show = [&](const QDate& since, const QDate& until, const char* choice) {
        view.findChild<QComboBox*>("cmbTotalsStation")->setCurrentText(choice);
        view.SetRange(since, until);
        for (int spins = 0; view.reading() && spins < 3000; ++spins)
            QTest::qWait(10);
        const auto* table = view.findChild<QTableWidget*>("lstTotals");
        QStringList lines;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column) {
                const QString name = table->horizontalHeaderItem(column)->text();
                if (QStringList{"jour", "poste", "formatées", "oppositions"}.contains(name))
                    cells << name + "=" + table->item(row, column)->text();
            }
            lines << cells.join(' ');
        }
        return lines;
    };
    const QDate today =
        QDate::fromString(QString::fromStdString(journal::LocalToday()), "yyyy-MM-dd");
    const QString day = "jour=" + today.toString("yyyy-MM-dd");
    EXPECT_EQ(
        show(today, today, "Tous les postes"),
        (QStringList{day + " formatées=3 oppositions=1", "jour=total formatées=3 oppositions=1"}));
    EXPECT_EQ(show(today, today, "Par poste"),
              (QStringList{day + " poste=Guichet 1 formatées=2 oppositions=0",
                           day + " poste=Guichet 2 formatées=1 oppositions=1",
                           "jour=total poste= formatées=3 oppositions=1"}));
    auto* chart = view.findChild<QChartView*>("chartTotals")->chart();
    const auto* formatted = qobject_cast<QBarSeries*>(chart->series().value(0))->barSets().at(0);
    EXPECT_EQ(formatted->count(), 1);
    EXPECT_EQ(formatted->at(0), 3);
    EXPECT_EQ(show(today, today, "Guichet 2"),
              (QStringList{day + " poste=Guichet 2 formatées=1 oppositions=1",
                           "jour=total poste= formatées=1 oppositions=1"}));
    view.chooseExportFile = [&] { return QString::fromStdString(dir.path("t.csv")); };
    view.findChild<QPushButton*>("cmdExportTotals")->click();
    const std::string csv = dir.read("t.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    EXPECT_NE(csv.find("\n" + day.mid(5).toStdString() + ";Guichet 2;1;"), std::string::npos);
    EXPECT_EQ(show(QDate(2000, 1, 1), QDate(2000, 1, 31), "Guichet 2").size(), 1);
    EXPECT_EQ(view.findChild<QComboBox*>("cmbTotalsStation")->currentText(), "Guichet 2");
}
