#include "reader/virtual_card_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace ostrel::reader;

namespace {

std::string ValidText() {
    std::string text =
        "# a card\n\ncode: 5e2b71\ncounter: 5\nprotection: 01111111111111111111111111111110\n";
    for (int row = 0; row < 16; ++row) {
        char line[64];
        std::snprintf(line, sizeof line, "%02X: A2131091 ffffffff 00000000 %02x%02x%02x%02x\n", row,
                      row, row, row, row);
        text += line;
    }
    return text;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

} // namespace

TEST(CardFile, ParsesEitherCaseAndWritesUpperCase) {
    Sle4442Chip chip;
    const auto parsed = ParseCardText(ValidText(), "deck/a.card", chip);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(chip.code(), 0x5E2B71u);
    EXPECT_EQ(chip.errorCounter(), 5);
    EXPECT_FALSE(chip.protectionBit(0));
    EXPECT_TRUE(chip.protectionBit(1));
    EXPECT_FALSE(chip.protectionBit(31));
    EXPECT_EQ(chip.memory()[0], 0xA2);
    EXPECT_EQ(chip.memory()[0xF * 16 + 15], 0x0F);

    const std::string written = FormatCardText(chip);
    EXPECT_NE(written.find("code: 5E2B71\n"), std::string::npos);
    EXPECT_NE(written.find("01: A2131091 FFFFFFFF 00000000 01010101\n"), std::string::npos);
    Sle4442Chip again;
    ASSERT_TRUE(ParseCardText(written, "x", again).ok);
    EXPECT_EQ(again.memory(), chip.memory());
    EXPECT_EQ(FormatCardText(again), written);
}

TEST(CardFile, RefusesEveryMalformedFileNamingFileAndLine) {
    const std::string good = ValidText();
    struct Case {
        std::string text;
        std::string line;      // expected ", ligne N"
        std::string says = {}; // what is wrong, when the plain words matter
    };
    const std::vector<Case> cases = {
        {Replace(good, "code: 5e2b71\n", ""), "ligne 21"},                       // missing key
        {Replace(good, "counter: 5\n", "counter: 5\ncounter: 5\n"), "ligne 5"},  // repeated key
        {Replace(good, "counter: 5\n", "counter: 5\ncolour: red\n"), "ligne 5"}, // unknown key
        {Replace(good, "code: 5e2b71", "code: 5e2b7"), "ligne 3"},               // short code
        {Replace(good, "code: 5e2b71", "code: 5e2b7g"), "ligne 3"},              // not hex
        {Replace(good, "counter: 5", "counter: 8"), "ligne 4"}, // counter out of range
        {Replace(good, "counter: 5", "counter: -1"), "ligne 4"},
        {Replace(good, "01111111111111111111111111111110", "0111111111111111111111111111111"),
         "ligne 5"},
        {Replace(good, "01111111111111111111111111111110", "0111111111111111111111111111111x"),
         "ligne 5"},
        {Replace(good, "03: A2131091 ffffffff 00000000 03030303",
                 "03: A2131091 ffffffff 00000000 030303"),
         "ligne 9"},                                                // short row
        {Replace(good, "03: A2131091", "02: A2131091"), "ligne 9"}, // repeated row
        {Replace(good, "0F: A2131091 ffffffff 00000000 0f0f0f0f\n", ""), "ligne 21"}, // missing row
        {Replace(good, "counter: 5", "counter 5"), "ligne 4"},                        // no colon
        {Replace(good, "code: 5e2b71", "code:5e2b71"), "ligne 3"},
        // What is wrong is said, not guessed at: the cause shows even when it is invisible.
        {Replace(good, "counter: 5", "counter: 05"), "ligne 4", "un seul chiffre de 0 à 7"},
        {Replace(good, "code: 5e2b71", "code:\t5e2b71"), "ligne 3", "tabulation après « code: »"},
        {"\xEF\xBB\xBF" + good, "ligne 1", "marque d'ordre des octets (BOM"},
        {Replace(good, "# a card", "\x1B]0;owned\x07"), "ligne 1", "« \\x1B]0;owned\\x07 »"},
        {Replace(good, "# a card", std::string(5000, 'z')), "ligne 1", "zzzz…"},
    };
    for (const auto& c : cases) {
        Sle4442Chip chip;
        const auto parsed = ParseCardText(c.text, "deck/bad.card", chip);
        EXPECT_FALSE(parsed.ok) << c.text;
        EXPECT_NE(parsed.error.find("deck/bad.card"), std::string::npos) << parsed.error;
        EXPECT_NE(parsed.error.find(c.line), std::string::npos) << parsed.error << " / " << c.line;
        EXPECT_NE(parsed.error.find(c.says), std::string::npos) << parsed.error;
        EXPECT_LT(parsed.error.size(), 300u) << parsed.error;
    }
}

TEST(CardFile, SaveReplacesTheFileWholeAndLeavesNoTemporary) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("ostrel-card-file-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = (dir / "c.card").string();
    Sle4442Chip chip = Sle4442Chip::Blank(0x35, 0x93C4E7);
    ASSERT_TRUE(SaveCardFile(path, chip).ok);
    chip.setErrorCounter(3);
    ASSERT_TRUE(SaveCardFile(path, chip).ok);
    Sle4442Chip loaded;
    ASSERT_TRUE(LoadCardFile(path, loaded).ok);
    EXPECT_EQ(loaded.errorCounter(), 3);
    EXPECT_EQ(loaded.memory()[25], 0x35);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    const auto missing = LoadCardFile((dir / "none.card").string(), loaded);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("none.card"), std::string::npos);
    EXPECT_FALSE(SaveCardFile((dir / "no-such-dir" / "x.card").string(), chip).ok);
    std::filesystem::remove_all(dir);
}
