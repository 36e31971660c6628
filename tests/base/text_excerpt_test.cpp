// Untrusted text quoted in messages: short, and nothing in it reaches the terminal raw.
#include "base/text_excerpt.h"

#include <gtest/gtest.h>

namespace {

using ostrel::base::Excerpt;

TEST(TextExcerpt, EscapesWhatATerminalWouldActOnAndCutsLongText) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"code: 5E2B71", "code: 5E2B71"},
        {"clé « é » €", "clé « é » €"},               // ordinary UTF-8 stays
        {"a\tb\r\n", "a\\tb\\r\\n"},                  // C0 controls
        {"\x1B[31mrouge\x07", "\\x1B[31mrouge\\x07"}, // an escape sequence and a bell
        {"\xC2\x9B"
         "2J",
         "\\x9B2J"}, // C1 CSI, as UTF-8
        {"\x9B"
         "2J\xFF",
         "\\x9B2J\\xFF"}, // bytes that are not UTF-8
        {"\xEF\xBB\xBF"
         "code",
         "\\uFEFFcode"}, // a byte-order mark
        {"\xE2\x80\xAE"
         "txt",
         "\\u202Etxt"},                                     // a direction override
        {"\xC0\xAF", "\\xC0\\xAF"},                         // an overlong form
        {std::string(45, 'x'), std::string(40, 'x') + "…"}, // cut after 40 characters
        {std::string(41, 'e'), std::string(40, 'e') + "…"},
        {std::string(20, '\x1B'),
         [] { // escapes count as one each
             std::string s;
             for (int i = 0; i < 20; ++i)
                 s += "\\x1B";
             return s;
         }()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Excerpt(c.text), c.shown) << c.shown;
    EXPECT_EQ(Excerpt("éééé", 2), "éé…") << "a character is never cut in the middle";
}

} // namespace
