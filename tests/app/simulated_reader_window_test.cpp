#include "app_test_cards.h"
#include "reader/virtual_card_file.h"
#include "simulated_reader_window.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

class SimulatedReaderWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) / ("sim-window-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        reader::SaveCardFile((folder / "blank.card").string(), TestBlankCard()->chip());
        std::ofstream(folder / "broken.card") << "# Une carte illisible\ncode: 1\n";
        window = std::make_unique<app::SimulatedReaderWindow>(simulated, folder.string());
    }
    void TearDown() override { fs::remove_all(folder); }

    QPushButton* button(const char* name) const { return window->findChild<QPushButton*>(name); }
    QListWidget* deck() const { return window->findChild<QListWidget*>("lstDeck"); }
    QString label(const char* name) const { return window->findChild<QLabel*>(name)->text(); }

    fs::path folder;
    reader::SimulatedReader simulated;
    std::unique_ptr<app::SimulatedReaderWindow> window;
};

TEST_F(SimulatedReaderWindowTest, ListsTheDeckAndSaysWhatTheSelectedCardIs) {
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Lecteur simulé"));
    ASSERT_EQ(deck()->count(), 2);
    EXPECT_EQ(deck()->item(0)->text(), "blank");
    EXPECT_EQ(deck()->item(1)->text(), "broken");
    deck()->setCurrentRow(1);
    EXPECT_EQ(label("lblDescription"), "Une carte illisible");
}

TEST_F(SimulatedReaderWindowTest, PlugsAndUnplugsTheReader) {
    ASSERT_TRUE(simulated.plugged());
    button("cmdPlug")->click();
    EXPECT_FALSE(simulated.plugged());
    EXPECT_EQ(label("lblReader"), QString::fromUtf8("Lecteur débranché"));
    button("cmdPlug")->click();
    EXPECT_TRUE(simulated.plugged());
    EXPECT_EQ(label("lblReader"), QString::fromUtf8("Lecteur branché"));
}

TEST_F(SimulatedReaderWindowTest, InsertsOneCardAtATimeAndRemovesIt) {
    deck()->setCurrentRow(0);
    button("cmdInsert")->click();
    ASSERT_TRUE(simulated.card());
    EXPECT_EQ(simulated.card()->path(), (folder / "blank.card").string());
    EXPECT_FALSE(button("cmdInsert")->isEnabled());
    EXPECT_TRUE(button("cmdRemove")->isEnabled());
    EXPECT_EQ(label("lblCard"), "Carte dans le lecteur : blank");

    button("cmdRemove")->click();
    EXPECT_FALSE(simulated.card());
    EXPECT_TRUE(button("cmdInsert")->isEnabled());
    EXPECT_FALSE(button("cmdRemove")->isEnabled());
}

TEST_F(SimulatedReaderWindowTest, ABrokenCardFileIsRefusedWithItsReason) {
    deck()->setCurrentRow(1);
    button("cmdInsert")->click();
    EXPECT_FALSE(simulated.card());
    EXPECT_TRUE(label("lblError").contains("broken.card")) << label("lblError").toStdString();
}

} // namespace
