#include "card/card_date.h"
#include "card/card_layout.h"
#include "card/classification.h"
#include "card/codecs.h"
#include "card/dump_lines.h"

#include <gtest/gtest.h>

using namespace ostrel::card;
using namespace std::chrono;

TEST(Classification, MarkerDecidesBeforeApplication) {
    CardMemory m = FilledMemory(0xFF);
    m[layout::kApplicationCode] = 1;
    EXPECT_EQ(ClassifyCard(m), CardClass::NotFormatted);
    m[layout::kFormatMarker] = 0x42;
    EXPECT_EQ(ClassifyCard(m), CardClass::Valid);
    m[layout::kApplicationCode] = 2;
    EXPECT_EQ(ClassifyCard(m), CardClass::ForeignApplication);
    EXPECT_EQ(ClassificationText(CardClass::NotFormatted), "cette carte n'est pas formatée ");
    EXPECT_EQ(ClassificationText(CardClass::ForeignApplication),
              "cette carte n'est pas une application QEL ");
    EXPECT_EQ(ClassificationText(CardClass::Valid), "carte valide");
}

TEST(Classification, FormatMarkerIsTheSerialsThirdByte) {
    CardMemory m = FilledMemory(0xFF);
    m[layout::kApplicationCode] = 1;
    for (std::int64_t serial : {1000000LL, 1000191LL}) {
        WriteCardLong(m, layout::kSerialOffset, serial);
        EXPECT_EQ(ClassifyCard(m), CardClass::Valid) << serial;
    }
    WriteCardLong(m, layout::kSerialOffset, 1000192); // 00 0F 43 00
    EXPECT_EQ(ClassifyCard(m), CardClass::NotFormatted);
}

TEST(CardDate, PlainNumbersAndYearRange) {
    const auto d = ToCardDate(2026y / December / 7d);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->day, 0x07);
    EXPECT_EQ(d->month, 0x0C);
    EXPECT_EQ(d->year, 0x1A);
    EXPECT_EQ(ToCardDate(2006y / March / 31d)->year, 6);
    EXPECT_EQ(ToCardDate(2000y / January / 1d)->year, 0);
    EXPECT_EQ(ToCardDate(2255y / December / 31d)->year, 255);
    EXPECT_FALSE(ToCardDate(2256y / January / 1d));
    EXPECT_FALSE(ToCardDate(1999y / December / 31d));
    EXPECT_FALSE(ToCardDate(2026y / February / 30d));

    CardMemory w{};
    StageDate(w, *d);
    EXPECT_EQ(w[18], 7);
    EXPECT_EQ(w[19], 12);
    EXPECT_EQ(w[20], 26);
}

TEST(DumpLines, RowLabelsAndGroups) {
    CardMemory m = FilledMemory(0xFF);
    const auto lines = DumpLines(m);
    EXPECT_EQ(lines[0], "00: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF");
    EXPECT_EQ(lines[15], "0F: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF");
    for (std::size_t i = 0; i < m.size(); ++i)
        m[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(DumpLine(m, 1), "01: 10111213 14151617 18191A1B 1C1D1E1F");
    for (const auto& line : DumpLines(m))
        EXPECT_EQ(line.size(), 39u);
}

TEST(DumpLines, ParseAcceptsEitherCaseAndRefusesOtherShapes) {
    const auto parsed = ParseDumpLine("0a: a2131091 ffffffff 00000000 0123abcd");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->row, 10);
    EXPECT_EQ(parsed->bytes[0], 0xA2);
    EXPECT_EQ(parsed->bytes[15], 0xCD);
    for (const char* bad :
         {"0A: A2131091 FFFFFFFF 00000000 0123ABC", "0A:A2131091 FFFFFFFF 00000000 0123ABCD ",
          "10: A2131091 FFFFFFFF 00000000 0123ABCD", "0A: A2131091FFFFFFFF 00000000 0123ABCD0",
          "0A: A2131091 FFFFFFFF 0000000G 0123ABCD", "0A; A2131091 FFFFFFFF 00000000 0123ABCD"}) {
        EXPECT_FALSE(ParseDumpLine(bad)) << bad;
    }
}
