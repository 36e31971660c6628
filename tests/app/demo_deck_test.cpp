#include "card/card_layout.h"
#include "card/classification.h"
#include "card/codecs.h"
#include "card_deck.h"
#include "fake_monitor_view.h"
#include "reader/identification.h"
#include "reader/reader_factory.h"
#include "reader/security_code.h"
#include "reader/simulated_reader.h"
#include "reader_monitor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace ostrel;
namespace layout = card::layout;

namespace {

// What each shipped card must show when put into the reader with no workflow window open.
struct DemoCard {
    const char* file;
    const char* verdict;
    int supplier;
    int counter;
    int kind;  // byte 64, or -1 when not checked
    int value; // byte 65
};

const DemoCard kDeck[] = {
    {"blank-supplier-04", card::kTextNotFormatted, 0x04, 7, -1, 0},
    {"blank-supplier-35", card::kTextNotFormatted, 0x35, 7, -1, 0},
    {"blank-supplier-46", card::kTextNotFormatted, 0x46, 7, -1, 0},
    {"blank-supplier-7A-unknown", card::kTextNotFormatted, 0x7A, 7, -1, 0},
    {"formatted-serial-1000000", card::kTextValid, 0x04, 7, -1, 0},
    {"token-12-credits", card::kTextValid, 0x04, 7, layout::kKindToken, 12},
    {"credit-50-credits", card::kTextValid, 0x04, 7, layout::kKindCredit, 50},
    {"foreign-application", card::kTextForeignApplication, 0x04, 7, -1, 0},
    {"not-an-sle4442", reader::kTextUnknownCard, 0x04, 7, -1, 0},
    {"locked-for-good", card::kTextValid, 0x04, 0, -1, 0},
};

TEST(DemoDeck, HoldsExactlyTheListedCardsEachSayingWhatItIs) {
    const auto deck = app::ListDeck(OSTREL_DEMO_DECK_DIR);
    ASSERT_EQ(deck.size(), std::size(kDeck));
    for (const auto& card : deck) {
        EXPECT_FALSE(card.description.empty()) << card.name;
    }
}

TEST(DemoDeck, EveryCardShowsItsVerdictInTheDump) {
    for (const DemoCard& expected : kDeck) {
        SCOPED_TRACE(expected.file);
        std::string error;
        const auto shipped = reader::VirtualCard::FromFile(
            std::string(OSTREL_DEMO_DECK_DIR) + "/" + expected.file + app::kCardFileExtension,
            error);
        ASSERT_TRUE(shipped) << error;
        const reader::Sle4442Chip& chip = shipped->chip();
        EXPECT_EQ(chip.memory()[layout::kSupplierByte], expected.supplier);
        EXPECT_EQ(chip.errorCounter(), expected.counter);

        // A copy without its file: the shipped deck is never written.
        reader::SimulatedReader simulated;
        simulated.insertCard(std::make_shared<reader::VirtualCard>(chip));
        reader::SharedState state(simulated);
        FakeMonitorView view(state);
        app::ReaderMonitor monitor(state, view);
        monitor.tick();
        ASSERT_EQ(view.dumpLoads, 1);
        EXPECT_EQ(view.dumpInfo, expected.verdict);
        if (expected.verdict == reader::kTextUnknownCard) {
            EXPECT_EQ(view.dumpImage, card::FilledMemory(0xFF));
            continue;
        }
        EXPECT_EQ(view.dumpImage, chip.memory());
        if (expected.verdict == std::string(card::kTextValid)) {
            EXPECT_EQ(chip.memory()[layout::kCardType], 1);
            EXPECT_EQ(chip.memory()[layout::kHeaderByte], layout::kHeaderByteValue);
            // Formatted cards keep their supplier's factory code: the workflows can unlock them.
            EXPECT_EQ(chip.code(), reader::FactoryCode(chip.memory()[layout::kSupplierByte]));
        }
        if (expected.kind >= 0) {
            EXPECT_EQ(chip.memory()[layout::kDisposableKind], expected.kind);
            EXPECT_EQ(chip.memory()[layout::kDisposableValue], expected.value);
        }
    }
}

TEST(DemoDeck, TheFormattedCardCarriesItsSerialAndDate) {
    std::string error;
    const auto card = reader::VirtualCard::FromFile(
        std::string(OSTREL_DEMO_DECK_DIR) + "/formatted-serial-1000000.card", error);
    ASSERT_TRUE(card) << error;
    const auto& memory = card->chip().memory();
    EXPECT_EQ(card::ReadCardLong(memory, layout::kSerialOffset), 1000000);
    EXPECT_EQ(memory[layout::kDayOffset], 15);
    EXPECT_EQ(memory[layout::kMonthOffset], 6);
    EXPECT_EQ(memory[layout::kYearOffset], 24);
    EXPECT_EQ(memory[layout::kLastByte], layout::kLastByteFormatted);
}

// Installed, the programs are in <prefix>/bin and the deck in <prefix>/share/ostrel-chipcard/demo.
TEST(DemoDeck, TheInstalledDeckBesideTheProgramComesBeforeTheSourceOne) {
    namespace fs = std::filesystem;
    const fs::path prefix =
        fs::temp_directory_path() / ("ostrel-prefix-" + std::to_string(::getpid()));
    const fs::path program = prefix / "bin" / "ostrel-admin";
    EXPECT_EQ(reader::ShippedDemoDeck(program), fs::path(OSTREL_DEMO_DECK_DIR));
    EXPECT_EQ(reader::ShippedDemoDeck({}), fs::path(OSTREL_DEMO_DECK_DIR));

    const fs::path installed = prefix / "share" / "ostrel-chipcard" / "demo";
    fs::create_directories(installed);
    EXPECT_EQ(reader::ShippedDemoDeck(program), installed);
    fs::remove_all(prefix);
}

} // namespace
