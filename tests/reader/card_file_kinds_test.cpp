// Card files as a user may hand them over: every kind of name, and saves that must keep what the
// user set up around and inside the file.
#include "../temp_folder.h"
#include "base/atomic_file.h"
#include "reader/virtual_card.h"
#include "reader/virtual_card_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace ostrel::reader;

class CardFileKinds : public ::testing::Test, protected TempFolder {
protected:
    CardFileKinds() : TempFolder("ostrel-card-kinds") {}
    // A card whose counter goes down by one, as a refused code does, saved to its file.
    std::string lowerCounter(const std::string& name) const {
        std::string error;
        auto card = VirtualCard::FromFile(path(name), error);
        if (!card)
            return error;
        card->chip().setErrorCounter(static_cast<std::uint8_t>(card->chip().errorCounter() - 1));
        return card->persist(error) ? std::string() : error;
    }
};

// Every kind of name given as a card: loaded, or refused at once with what it is; a card that
// loads is saved, or refused before anything is written.
TEST_F(CardFileKinds, EachKindIsLoadedOrRefusedAtOnceSaying) {
    const std::string card = FormatCardText(Sle4442Chip::Blank(0x04, 0x5E2B71));
    write("regular.card", card);
    write("read-only.card", card);
    ::chmod(path("read-only.card").c_str(), 0444);
    write("linked", card);
    fs::create_symlink("linked", path("link.card"));
    fs::create_directory(path("folder.card"));
    ASSERT_EQ(::mkfifo(path("fifo.card").c_str(), 0600), 0);
    ASSERT_EQ(::mknod(path("zero.card").c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);
    // 100 Mio that take no room: read whole, this is what used to cost 600 Mio of memory.
    fs::resize_file((write("huge.card", card), path("huge.card")), 100u << 20);
    write("one-line.card", std::string(kCardFileLimit - 10, 'x'));
    struct Case {
        const char* name;
        const char* loadSays; // empty: loads
        const char* saveSays; // empty: saves
    } cases[] = {
        {"regular.card", "", ""},
        {"link.card", "", ""},
        {"read-only.card", "", "lecture seule"},
        {"missing.card", "fichier introuvable", nullptr},
        {"folder.card", "c'est un dossier", nullptr},
        {"fifo.card", "c'est un tube nommé (FIFO)", nullptr},
        {"zero.card", "c'est un périphérique", nullptr},
        {"huge.card", "fichier trop grand (100 Mio, au plus 64 Kio)", nullptr},
        {"one-line.card", "ligne illisible", nullptr},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto loaded = VirtualCard::FromFile(path(c.name), error);
        ASSERT_EQ(loaded != nullptr, *c.loadSays == '\0') << c.name << ": " << error;
        if (!loaded) {
            EXPECT_EQ(error.rfind("fichier de carte " + path(c.name), 0), 0u) << error;
            EXPECT_NE(error.find(c.loadSays), std::string::npos) << error;
            EXPECT_LT(error.size(), 200u) << "a bad line is quoted short: " << error;
            continue;
        }
        const std::string before = read(c.name);
        const std::string saveError = lowerCounter(c.name);
        EXPECT_NE(saveError.find(c.saveSays), std::string::npos) << c.name << ": " << saveError;
        if (*c.saveSays != '\0')
            EXPECT_EQ(read(c.name), before) << c.name << " must be left as it was";
        else
            EXPECT_NE(read(c.name).find("counter: 6\n"), std::string::npos) << c.name;
    }
    EXPECT_TRUE(fs::is_symlink(path("link.card"))) << "a save through a link keeps the link";
}

// A save rewrites what changed and nothing else: comments, blank lines, the writer's spelling
// and line ends, the file's mode and the link to it all stay.
TEST_F(CardFileKinds, SaveRewritesOnlyChangedLinesAndKeepsModeAndLink) {
    std::string text = "# Carte de test\r\n\r\ncode: 5e2b71\r\n# le compteur :\r\ncounter: 7\r\n"
                       "protection: 11111111111111111111111111111111\r\n";
    for (int row = 0; row < 16; ++row) {
        char line[64];
        std::snprintf(line, sizeof line, "%02x: a2131091 ffffffff ffffffff ffffffff\r\n", row);
        text += line;
    }
    write("kept.card", text);
    ::chmod(path("kept.card").c_str(), 0600);
    fs::create_symlink("kept.card", path("link.card"));

    std::string error;
    auto card = VirtualCard::FromFile(path("link.card"), error);
    ASSERT_TRUE(card) << error;
    card->chip().setErrorCounter(6);
    card->chip().memory()[0x21] = 0x5A;
    ASSERT_TRUE(card->persist(error)) << error;

    std::string expected = text;
    expected.replace(expected.find("counter: 7"), 10, "counter: 6");
    expected.replace(expected.find("02: a2131091 ffffffff ffffffff ffffffff"), 39,
                     "02: A25A1091 FFFFFFFF FFFFFFFF FFFFFFFF");
    EXPECT_EQ(read("kept.card"), expected);
    EXPECT_TRUE(fs::is_symlink(path("link.card")));
    EXPECT_EQ(fs::status(path("kept.card")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    // A second save starts from what the first wrote, not from the file as first read.
    card->chip().setErrorCounter(5);
    ASSERT_TRUE(card->persist(error)) << error;
    expected.replace(expected.find("counter: 6"), 10, "counter: 5");
    EXPECT_EQ(read("kept.card"), expected);
}

// A save killed before its rename leaves a temporary file; the next save of the card removes
// it, so interruptions do not pile files up in the deck folder.
TEST_F(CardFileKinds, NextSaveRemovesWhatAnInterruptedSaveLeft) {
    write("card.card", FormatCardText(Sle4442Chip::Blank(0x04, 0x5E2B71)));
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const std::string left =
        ostrel::base::TemporaryPrefix("card.card") + std::to_string(child) + "-Xy12Zt";
    write(left, "code: 5E");
    ASSERT_EQ(lowerCounter("card.card"), "");
    EXPECT_FALSE(fs::exists(path(left)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), 1);
}

} // namespace
