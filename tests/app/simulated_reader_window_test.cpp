#include "app_test_cards.h"
#include "reader/card_session.h"
#include "reader/security_code.h"
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
    EXPECT_EQ(label("lblCard"),
              "Carte dans le lecteur : blank (carte non formatée, fournisseur 04)");

    button("cmdRemove")->click();
    EXPECT_FALSE(simulated.card());
    EXPECT_TRUE(button("cmdInsert")->isEnabled());
    EXPECT_FALSE(button("cmdRemove")->isEnabled());
}

// A blank card formatted in the reader is no longer described as blank, though its file keeps
// the comment a person wrote; what a refused code does shows as well.
TEST_F(SimulatedReaderWindowTest, TheCardInTheReaderIsDescribedAsItIsAfterEachWrite) {
    std::ofstream(folder / "blank.card", std::ios::app) << "# written by hand\n";
    window->refreshDeck();
    deck()->setCurrentRow(0);
    button("cmdInsert")->click();
    ASSERT_TRUE(simulated.card());
    EXPECT_EQ(label("lblDescription"), QString::fromUtf8("carte non formatée, fournisseur 04"));

    reader::SharedState state(simulated);
    state.ReaderHandle = simulated.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
    ASSERT_TRUE(reader::StartCardSession(state));
    ASSERT_GT(reader::PresentSecurityCode(state, 0x5E2B71), 6);
    state.WriteImage[15] = 0x42; // the format marker
    state.WriteImage[17] = 1;    // this application
    ASSERT_GE(reader::WriteCardMemory(state, 13, 5), 0);
    EXPECT_TRUE(label("lblCard").contains(QString::fromUtf8("carte formatée, numéro")))
        << label("lblCard").toStdString();
    EXPECT_TRUE(label("lblDescription").startsWith(QString::fromUtf8("carte formatée")));

    ASSERT_LT(reader::PresentSecurityCode(state, 0x000001), 7); // refused: the counter goes down
    std::ifstream saved(folder / "blank.card");
    const std::string text{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_NE(text.find("# written by hand\n"), std::string::npos);
    EXPECT_NE(text.find("counter: 6\n"), std::string::npos);

    // A card whose file may not be written: the change is undone and the reason shown.
    fs::permissions(folder / "blank.card", fs::perms::owner_read);
    EXPECT_LT(reader::PresentSecurityCode(state, 0x000002), 0);
    EXPECT_EQ(simulated.card()->chip().errorCounter(), 6) << "the card is what its file holds";
    EXPECT_TRUE(label("lblError").contains(QString::fromUtf8("lecture seule")))
        << label("lblError").toStdString();
}

// Beside the main window when there is room, never past the screen's edges.
TEST(SimulatedReaderWindowPlace, InsideTheAvailableArea) {
    const QRect screen(0, 0, 1280, 900);
    const QSize size(420, 460);
    const struct {
        QRect main;
        QPoint expected;
    } cases[] = {
        {QRect(0, 0, 600, 500), QPoint(612, 0)},       // room on the right
        {QRect(700, 100, 560, 640), QPoint(268, 100)}, // room on the left only
        {QRect(0, 0, 862, 700), QPoint(860, 0)},       // neither: against the right edge
        {QRect(0, 600, 400, 280), QPoint(412, 440)},   // kept above the bottom edge
    };
    for (const auto& c : cases) {
        const QRect placed = app::SimulatedReaderWindow::PlaceBeside(c.main, size, screen);
        EXPECT_EQ(placed.topLeft(), c.expected) << c.main.x() << "," << c.main.y();
        EXPECT_TRUE(screen.contains(placed));
    }
    const QRect tall =
        app::SimulatedReaderWindow::PlaceBeside(QRect(0, 0, 600, 500), QSize(420, 1200), screen);
    EXPECT_EQ(tall.height(), 900);
    EXPECT_TRUE(screen.contains(tall));
}

TEST_F(SimulatedReaderWindowTest, ABrokenCardFileIsRefusedWithItsReason) {
    deck()->setCurrentRow(1);
    button("cmdInsert")->click();
    EXPECT_FALSE(simulated.card());
    EXPECT_TRUE(label("lblError").contains("broken.card")) << label("lblError").toStdString();
}

} // namespace
