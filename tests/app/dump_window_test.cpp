#include "dump_window.h"
#include "reader/simulated_reader.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QListWidget>
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

} // namespace
