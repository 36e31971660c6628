#include "app_test_cards.h"
#include "card_deck.h"
#include "reader/virtual_card_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

class CardDeckTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) / ("deck-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "sub.card");
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const std::string& text) {
        const fs::path path = folder / name;
        std::ofstream(path) << text;
        return path.string();
    }
    std::string writeCard(const std::string& name, const std::string& comment) {
        return write(name, comment + reader::FormatCardText(TestBlankCard()->chip()));
    }

    fs::path folder;
    reader::SimulatedReader simulated;
};

TEST_F(CardDeckTest, ListsCardFilesByNameWithTheirOwnComment) {
    writeCard("b.card", "# Carte B\n");
    writeCard("a.card", "");
    write("notes.txt", "# pas une carte\n");
    const auto deck = app::ListDeck(folder.string());
    ASSERT_EQ(deck.size(), 2u);
    EXPECT_EQ(deck[0].name, "a");
    EXPECT_EQ(deck[0].description, ""); // only the comment every saved file starts with
    EXPECT_EQ(deck[1].name, "b");
    EXPECT_EQ(deck[1].description, "Carte B");
}

TEST_F(CardDeckTest, AMissingFolderIsAnEmptyDeck) {
    EXPECT_TRUE(app::ListDeck((folder / "absent").string()).empty());
}

TEST_F(CardDeckTest, InsertingLoadsTheFileAndAFullSlotRefusesASecondCard) {
    const std::string a = writeCard("a.card", "");
    std::string error;
    ASSERT_TRUE(app::InsertDeckCard(simulated, a, error)) << error;
    ASSERT_TRUE(simulated.card());
    EXPECT_EQ(simulated.card()->path(), a);

    const auto first = simulated.card();
    EXPECT_FALSE(app::InsertDeckCard(simulated, a, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(simulated.card(), first);
}

TEST_F(CardDeckTest, AMalformedFileIsRefusedWithItsReason) {
    const std::string bad = write("bad.card", "code: 12\n");
    std::string error;
    EXPECT_FALSE(app::InsertDeckCard(simulated, bad, error));
    EXPECT_NE(error.find("bad.card"), std::string::npos) << error;
    EXPECT_FALSE(simulated.card());
}

} // namespace
