#include "../held_elsewhere.h"
#include "../temp_folder.h"

#include "card/card_layout.h"
#include "card/classification.h"
#include "card/codecs.h"
#include "dump_window.h"
#include "journal/sqlite_journal.h"
#include "reader/simulated_reader.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

class DumpWindowTest : public ::testing::Test {
protected:
    QStringList lines(const app::DumpWindow& window) const {
        QStringList out;
        const auto* list = window.findChild<QListWidget*>("lstDump");
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    QString info(const app::DumpWindow& window) const {
        return window.findChild<QLabel*>("lblInfo")->text();
    }

    reader::SimulatedReader simulated;
    reader::SharedState state{simulated};
};

TEST_F(DumpWindowTest, AnAllFfCardGivesSixteenRowsOfFDigits) {
    state.CardImage.fill(0xFF);
    const app::DumpWindow window(state);
    const QStringList shown = lines(window);
    ASSERT_EQ(shown.size(), 16);
    for (int row = 0; row < 16; ++row) {
        EXPECT_EQ(shown[row], QString("%1: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF")
                                  .arg(row, 2, 16, QChar('0'))
                                  .toUpper());
    }
}

TEST_F(DumpWindowTest, RowsAreLabelledByRowNumberAndGroupedByFourBytes) {
    for (int i = 0; i < 256; ++i)
        state.CardImage[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    const app::DumpWindow window(state);
    const QStringList shown = lines(window);
    ASSERT_EQ(shown.size(), 16);
    EXPECT_EQ(shown[0], "00: 00010203 04050607 08090A0B 0C0D0E0F");
    EXPECT_EQ(shown[1], "01: 10111213 14151617 18191A1B 1C1D1E1F");
    EXPECT_EQ(shown[10], "0A: A0A1A2A3 A4A5A6A7 A8A9AAAB ACADAEAF");
    EXPECT_EQ(shown[15], "0F: F0F1F2F3 F4F5F6F7 F8F9FAFB FCFDFEFF");
    for (const QString& line : shown)
        EXPECT_EQ(line.size(), 39);
}

TEST_F(DumpWindowTest, TheVerdictIsShownExactlyAndAnEmptyOneLeavesTheLabelBlank) {
    state.InfoMessage = "cette carte n'est pas formatée ";
    EXPECT_EQ(info(app::DumpWindow(state)), QString::fromUtf8("cette carte n'est pas formatée "));
    state.InfoMessage.clear();
    EXPECT_TRUE(info(app::DumpWindow(state)).isEmpty());
    state.InfoMessage = "<b>1</b>"; // shown as typed, never as markup
    EXPECT_EQ(info(app::DumpWindow(state)), "<b>1</b>");
    EXPECT_EQ(app::DumpWindow(state).findChild<QLabel*>("lblInfo")->textFormat(), Qt::PlainText);
}

TEST_F(DumpWindowTest, FontsAndColours) {
    const app::DumpWindow window(state);
    EXPECT_EQ(window.windowTitle(), "Card Dump");
    const QFont dumpFont = window.findChild<QListWidget*>("lstDump")->font();
    // The columns line up when every character a dump line uses advances alike: some monospace
    // fonts (Noto Sans Mono) are not flagged fixed-pitch, and that flag is not what matters.
    const QFontMetricsF metrics(dumpFont);
    const QString used = "0123456789ABCDEF: ";
    for (const QChar c : used)
        EXPECT_EQ(metrics.horizontalAdvance(c), metrics.horizontalAdvance('0'))
            << QString(c).toStdString() << " in " << QFontInfo(dumpFont).family().toStdString();
    EXPECT_TRUE(dumpFont.bold());
    EXPECT_EQ(dumpFont.pointSize(), 12);
    const auto* label = window.findChild<QLabel*>("lblInfo");
    EXPECT_TRUE(label->font().bold());
    EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 9.75);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
}

// A card of this system's format is checked against the journal beside the window's thread:
// more credits than its last write gave follow the verdict, and the finding is recorded. A card
// not of this format is not checked; one taken out while the journal is held ends the check.
TEST_F(DumpWindowTest, AFormattedCardIsCheckedAgainstTheJournal) {
    TempFolder dir("ostrel-dump-check");
    journal::SqliteJournal records(dir.path("j.sqlite"));
    base::Waiting waiting(std::chrono::milliseconds(60000));
    records.SetWaiting(&waiting);
    journal::Entry credit;
    credit.station = "Guichet 1";
    credit.operation = journal::kCredit;
    credit.serialOld = 1000000;
    credit.kind = card::layout::kKindCredit;
    credit.credits = 20;
    credit.outcome = journal::kVerified;
    std::int64_t id = 0;
    std::string error;
    std::vector<journal::Entry> rows;
    ASSERT_TRUE(records.Add(credit, id, error) && records.History(1000000, rows, error)) << error;
    const std::string written = journal::DayText(rows.at(0).time);
    state.CardImage.fill(0xFF);
    card::WriteCardLong(state.CardImage, card::layout::kSerialOffset, 1000000);
    state.CardImage[card::layout::kDisposableKind] = card::layout::kKindCredit;
    state.CardImage[card::layout::kDisposableValue] = 50;
    const app::JournalCheck check{
        [&](const card::CardMemory& image) {
            return workflows::CheckCard({&records, "t", "sim", "G2"}, image);
        },
        &waiting};

    state.InfoMessage = card::kTextValid;
    {
        const app::DumpWindow window(state, check);
        for (int spins = 0; window.checking() && spins < 3000; ++spins)
            QTest::qWait(10);
        EXPECT_EQ(info(window).toStdString(),
                  "carte valide — Carte modifiée hors poste : 50 crédits, 20 écrits le " + written +
                      " par Guichet 1");
    }
    ASSERT_TRUE(records.History(1000000, rows, error)) << error;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].outcome, journal::kModifiedOutside);
    state.InfoMessage = card::kTextNotFormatted;
    EXPECT_FALSE(app::DumpWindow(state, check).checking());

    // More credits again: a check that went through would record them.
    state.CardImage[card::layout::kDisposableValue] = 60;
    state.InfoMessage = card::kTextValid;
    HeldElsewhere holder(OSTREL_HOLD_LOCK, "journal", records.Location());
    ASSERT_TRUE(holder.held());
    auto window = std::make_unique<app::DumpWindow>(state, check);
    EXPECT_TRUE(window->checking());
    window.reset(); // the card is taken out: the check is called off
    QTest::qWait(20);
    holder.Release();
    ASSERT_TRUE(records.History(1000000, rows, error)) << error;
    EXPECT_EQ(rows.size(), 2u);
}

} // namespace
