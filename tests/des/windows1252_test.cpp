// UTF-8 to Windows-1252 and back, with the refusals a user can meet.

#include "windows1252.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ostrel::des::CodePointName;
using ostrel::des::Utf8ToWindows1252;
using ostrel::des::Utf8ToWindows1252Error;
using ostrel::des::Windows1252ToUtf8;
using Kind = Utf8ToWindows1252Error::Kind;

TEST(Windows1252, ConvertsTheCodePage) {
    struct Row {
        const char* utf8;
        const char* bytes;
    };
    for (const Row row :
         {Row{"plain ASCII", "plain ASCII"},
          {"Carte à l'intérieur", "Carte \xE0 l'int\xE9rieur"},
          {"€ ‚ ƒ „ … † ‡ ˆ ‰ Š ‹ Œ Ž",
           "\x80 \x82 \x83 \x84 \x85 \x86 \x87 \x88 \x89 \x8A \x8B \x8C \x8E"},
          {"‘’“”•–—˜™š›œžŸ", "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F"},
          {"\u00A0¡ÿ", "\xA0\xA1\xFF"},
          {"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"}}) {
        std::string bytes;
        Utf8ToWindows1252Error error;
        ASSERT_TRUE(Utf8ToWindows1252(row.utf8, bytes, error)) << row.utf8;
        EXPECT_EQ(bytes, row.bytes);
        EXPECT_EQ(Windows1252ToUtf8(row.bytes), row.utf8);
    }
}

TEST(Windows1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::string back;
    Utf8ToWindows1252Error error;
    ASSERT_TRUE(Utf8ToWindows1252(Windows1252ToUtf8(all), back, error));
    EXPECT_EQ(back, all);
}

TEST(Windows1252, RefusesWhatItCannotHoldOrRead) {
    struct Row {
        std::string utf8;
        Kind kind;
        std::size_t offset;
        char32_t codePoint;
    };
    for (const Row& row : {Row{"ok Ā", Kind::NotRepresentable, 3, 0x100},
                           {"✓", Kind::NotRepresentable, 0, 0x2713},
                           {"x\U0001F600", Kind::NotRepresentable, 1, 0x1F600},
                           {"\u0080", Kind::NotRepresentable, 0, 0x80},
                           {"a\x80", Kind::InvalidUtf8, 1, 0},
                           {"\xC3", Kind::InvalidUtf8, 0, 0},
                           {"\xC3(", Kind::InvalidUtf8, 0, 0},
                           {"\xC0\xAF", Kind::InvalidUtf8, 0, 0},
                           {"\xED\xA0\x80", Kind::InvalidUtf8, 0, 0},
                           {"\xF4\x90\x80\x80", Kind::InvalidUtf8, 0, 0},
                           {"ab\xFF", Kind::InvalidUtf8, 2, 0}}) {
        std::string bytes = "unchanged";
        Utf8ToWindows1252Error error;
        EXPECT_FALSE(Utf8ToWindows1252(row.utf8, bytes, error)) << row.utf8;
        EXPECT_EQ(error.kind, row.kind) << row.utf8;
        EXPECT_EQ(error.offset, row.offset) << row.utf8;
        EXPECT_EQ(error.codePoint, row.codePoint) << row.utf8;
        EXPECT_EQ(bytes, "unchanged");
    }
    EXPECT_EQ(CodePointName(0x2713), "U+2713");
    EXPECT_EQ(CodePointName(0x1F600), "U+1F600");
}

} // namespace
