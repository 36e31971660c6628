#include "workflow_test_support.h"

#include "card/codecs.h"
#include "workflows/format_workflow.h"
#include "workflows/serial_numbers.h"

#include <gtest/gtest.h>

using namespace ostrel::workflows;

TEST(SerialNumbers, TheNextSerialKeepsTheFormatMarker) {
    EXPECT_EQ(NextMarkedSerial(1000000), 1000001);
    EXPECT_EQ(NextMarkedSerial(1000190), 1000191);
    EXPECT_EQ(NextMarkedSerial(1000191), 1065472);   // 00 0F 42 FF -> 00 10 42 00
    EXPECT_EQ(NextMarkedSerial(0x4200 - 5), 0x4200); // below the marker: same upper half
    EXPECT_EQ(NextMarkedSerial(0), 0x4200);
    EXPECT_EQ(NextMarkedSerial(0x00104300), 0x00114200); // past the marker: next upper half
    for (std::int64_t s :
         {std::int64_t{1000000}, std::int64_t{1065472}, std::int64_t{0x3B9A4200}}) {
        EXPECT_TRUE(CarriesFormatMarker(*NextMarkedSerial(s))) << s;
    }
    // Nine characters of configuration hold 999999999 at most.
    EXPECT_EQ(NextMarkedSerial(0x3B9A42FE), 0x3B9A42FF);
    EXPECT_FALSE(NextMarkedSerial(0x3B9A42FF).has_value());
}

TEST(SerialNumbers, ConfiguredValuesAreTakenOrRefused) {
    EXPECT_EQ(ParseConfiguredSerial("1000000").serial, 1000000);
    EXPECT_EQ(ParseConfiguredSerial(" 1000191 ").serial, 1000191);
    EXPECT_EQ(ParseConfiguredSerial("1065472").serial, 1065472);
    EXPECT_EQ(ParseConfiguredSerial("001000000").serial, 1000000);
    EXPECT_EQ(ParseConfiguredSerial("999965439").serial, kLastSerial);

    const struct {
        const char* text;
        const char* says;
    } refused[] = {
        {"", "vide"},
        {"   ", "vide"},
        {"abc", "pas un nombre entier positif"},
        {"-1000000", "pas un nombre entier positif"},
        {"1000000.5", "pas un nombre entier positif"},
        {"1e6", "pas un nombre entier positif"},
        {"0x0F4240", "pas un nombre entier positif"},
        {"1000192", "marque de formatage"}, // 00 0F 43 00
        // A tenth character is refused, never cut off (1000248321 once became 100024832).
        {"1000248321", "trop long : 9 caractères au plus"},
        {"0010000005", "trop long : 9 caractères au plus"},
        {"001000000 trailing", "trop long"},
        {"999999999", "plus aucun numéro de série disponible"},
        {"999965440", "plus aucun numéro de série disponible"},
        // Shown, never sent to the terminal as they are.
        {"\x1B[2J\a\x01", "« \\x1B[2J\\x07\\x01 » : pas un nombre"},
    };
    for (const auto& c : refused) {
        const ConfiguredSerial configured = ParseConfiguredSerial(c.text);
        EXPECT_FALSE(configured.serial.has_value()) << c.text;
        EXPECT_NE(configured.problem.find(c.says), std::string::npos)
            << c.text << ": " << configured.problem;
    }
}

// The last serial is given like any other; the next card is refused, untouched.
using LastSerial = ReaderFixture;

TEST_F(LastSerial, IsGivenAndNoneAfterIt) {
    MemorySerialStore store;
    store.text = "999965439";
    FormatWorkflow format(state, store, TestOptions());
    format.Load();
    auto last = BlankCard();
    Insert(last);
    format.CardInserted();
    EXPECT_EQ(format.outcome(), FormatOutcome::Formatted) << format.info();
    EXPECT_EQ(ostrel::card::ReadCardLong(last->chip().memory(), 13), kLastSerial);
    Remove();
    format.CardRemoved();
    EXPECT_TRUE(format.formattingBlocked());
    EXPECT_NE(format.info().find("plus aucun numéro de série disponible"), std::string::npos)
        << format.info();
    auto next = BlankCard();
    const auto before = next->chip().memory();
    Insert(next);
    format.CardInserted();
    EXPECT_EQ(format.outcome(), FormatOutcome::Blocked);
    EXPECT_EQ(next->chip().memory(), before);
}
