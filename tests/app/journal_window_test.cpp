#include "journal/journal_text.h"
#include "journal/sqlite_journal.h"
#include "journal_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
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
    auto* table = window.findChild<QTableWidget*>("lstJournal");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 2)->text(), "Guichet 2");
    EXPECT_EQ(table->item(0, 5)->text(), "crédit");
    EXPECT_EQ(table->item(1, 6)->text(), "1000001");
    EXPECT_EQ(table->item(1, 12)->text(), "interrompue");
    EXPECT_EQ(table->item(2, 8)->text(), "35");
    EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The serial a card received or held.
    window.findChild<QLineEdit*>("txtSerialFilter")->setText("1000000");
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 5)->text(), "crédit");
    EXPECT_EQ(table->item(1, 5)->text(), "formatage");

    const QString csv = dir.path() + "/export.csv";
    window.chooseExportFile = [&] { return csv; };
    window.findChild<QPushButton*>("cmdExport")->click();
    std::ifstream in(csv.toStdString(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string exported = text.str();
    EXPECT_EQ(
        exported.substr(0, exported.find("\r\n")),
        "n°,heure (UTC),poste,programme,lecteur,opération,série,série ancienne,fournisseur,type,"
        "crédits,essais restants,issue,carte avant,carte après");
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 3); // header and two rows
    EXPECT_NE(exported.find(",crédit,,1000000,35,1,9,,écrite et vérifiée," + std::string(512, 'F')),
              std::string::npos)
        << exported;
    EXPECT_TRUE(window.findChild<QLabel*>("lblInfo")->text().contains("exportée"));

    window.findChild<QLineEdit*>("txtSerialFilter")->setText("12x");
    EXPECT_EQ(table->rowCount(), 0);
}
