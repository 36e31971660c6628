// The configuration file as operators leave it, through ostrel-card format: what is refused
// before the card is touched, what a save keeps, and the text of the INI store itself.
#include "card/codecs.h"
#include "command_registry.h"
#include "reader/virtual_card_file.h"
#include "test_cards.h"
#include "workflows/ini_serial_store.h"
#include "workflows/ini_text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

struct ConfigFileTest : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/ostrel-config-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Formats a fresh blank card with config; the card's memory afterwards.
    card::CardMemory Format(const std::string& config, int& status, std::string& out,
                            std::string& err) {
        const std::string card = Path("card");
        EXPECT_TRUE(reader::SaveCardFile(card, BlankCard()->chip()).ok);
        std::ostringstream o, e;
        cli::CommandIo io{o, e, false};
        status = cli::RunOstrelCard({"--reader", "sim:" + card, "--config", config, "--journal",
                                     Path("journal.sqlite"), "format"},
                                    io);
        out = o.str();
        err = e.str();
        reader::Sle4442Chip chip;
        EXPECT_TRUE(reader::LoadCardFile(card, chip).ok);
        return chip.memory();
    }
};

} // namespace

TEST_F(ConfigFileTest, WhatCannotHoldTheSerialIsRefusedBeforeTheCardIsTouched) {
    fs::create_directory(Path("folder"));
    ASSERT_EQ(::mknod(Path("device").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Write("long.ini", "[Format]\nNextSerial=1000248321\n");
    Write("big.ini", "; " + std::string(64 * 1024, 'x') + "\n");
    Write("blocker", "x");
    const struct {
        std::string config;
        const char* says;
    } cases[] = {
        {Path("folder"), "c'est un dossier"},
        {Path("device"), "c'est un périphérique"},
        {Path("fifo"), "tube nommé (FIFO)"},
        {Path("long.ini"), "trop long : 9 caractères au plus"},
        {Path("big.ini"), "fichier trop grand"},
        {Path("blocker") + "/c.ini", "blocker"},
    };
    const card::CardMemory blank = BlankCard()->chip().memory();
    for (const auto& c : cases) {
        int status = 0;
        std::string out, err;
        EXPECT_EQ(Format(c.config, status, out, err), blank) << c.config;
        EXPECT_EQ(status, 1) << c.config;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.config << ": " << err;
        EXPECT_NE(err.find(c.config.substr(0, c.config.rfind('/') + 2)), std::string::npos)
            << "names the file: " << err;
    }
    struct stat info {};
    ASSERT_EQ(::stat(Path("device").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device is still a device";
    EXPECT_EQ(Read("long.ini"), "[Format]\nNextSerial=1000248321\n");
}

TEST_F(ConfigFileTest, ASaveChangesTheValueOnlyAndFollowsALink) {
    // A byte-order mark, comments, CR LF endings, another section before and a key after.
    const std::string before = "\xEF\xBB\xBF; réglages du poste\r\n[Reader]\r\nDialect=acr\r\n\r\n"
                               "[format]\r\n# série suivante\r\nnextserial = 1000190 \r\n"
                               "Autre=1\r\n";
    Write("real.ini", before);
    fs::create_symlink("real.ini", Path("link.ini"));
    int status = 0;
    std::string out, err;
    const card::CardMemory card = Format(Path("link.ini"), status, out, err);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(card::ReadCardLong(card, 13), 1000190);
    EXPECT_EQ(Read("real.ini"), "\xEF\xBB\xBF; réglages du poste\r\n[Reader]\r\nDialect=acr\r\n\r\n"
                                "[format]\r\n# série suivante\r\nnextserial = 1000191 \r\n"
                                "Autre=1\r\n");
    EXPECT_TRUE(fs::is_symlink(Path("link.ini")));

    // A missing file is created, in a missing folder too.
    const std::string fresh = Path("new/sub/c.ini");
    Format(fresh, status, out, err);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(Read("new/sub/c.ini"), "[Format]\nNextSerial=1000001\n");
}

TEST_F(ConfigFileTest, AFileTheUserMayNotWriteFormatsNothing) {
    // Run as another user: root may write anything.
    Write("c.ini", "[Format]\nNextSerial=1000000\n");
    ASSERT_TRUE(reader::SaveCardFile(Path("card"), BlankCard()->chip()).ok);
    fs::permissions(dir, fs::perms::all);
    fs::permissions(Path("card"), fs::perms::all);
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                std::string(OSTREL_CARD_PROGRAM) + " --reader sim:" + Path("card") +
                                " --config " + Path("c.ini") + " --journal " + Path("j.sqlite") +
                                " format > " + Path("out") + " 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    const std::string said = Read("out");
    EXPECT_NE(said.find(Path("c.ini") + " : écriture refusée"), std::string::npos) << said;
    reader::Sle4442Chip chip;
    ASSERT_TRUE(reader::LoadCardFile(Path("card"), chip).ok);
    EXPECT_EQ(chip.memory(), BlankCard()->chip().memory());
    EXPECT_EQ(chip.errorCounter(), 7);
    EXPECT_EQ(Read("c.ini"), "[Format]\nNextSerial=1000000\n");
}

// What an editor may make of the file: read as written and saved as it was, or refused with
// what was found; never taken for a file without the key (which would give 1000000 again).
TEST_F(ConfigFileTest, OddEncodingsAndLayoutsAreReadOrRefusedNeverDefaulted) {
    const auto utf16 = [](const std::string& ascii, bool mark) {
        std::string wide = mark ? "\xFF\xFE" : "";
        for (const char c : ascii)
            wide += std::string{c, '\0'};
        return wide;
    };
    const struct {
        std::string before;
        std::int64_t serial; // 0: refused
        std::string afterOrSays;
    } cases[] = {
        {"[Format]\rNextSerial=1000100\r", 1000100, "[Format]\rNextSerial=1000101\r"},
        {"[Format]\nNextSerial=\"1000110\"\n", 1000110, "[Format]\nNextSerial=\"1000111\"\n"},
        {"[Format]\nA=1\n[Reader]\n[Format]\nNextSerial=1000120\n", 1000120,
         "[Format]\nA=1\n[Reader]\n[Format]\nNextSerial=1000121\n"},
        {utf16("[Format]\r\nNextSerial=1000100\r\n", true), 0, "UTF-16 (marque FF FE)"},
        {utf16("[Format]\r\nNextSerial=1000100\r\n", false), 0, "octet nul à la position 1"},
        {"[Format]\nNextSerial=1000100\n[Format]\nNextSerial=1000200\n", 0,
         "donné 2 fois, lignes 2 et 4"},
        {"[Formats]\nNextSerial=1000100\n", 0, "la ligne 2 le nomme"},
        {"[Format]\nNextSerial: 1000100\n", 0, "« NextSerial: 1000100 »"},
        {"[Format]\nNextSerial=\x1B]0;x\a\n", 0, "« \\x1B]0;x\\x07 »"},
    };
    const card::CardMemory blank = BlankCard()->chip().memory();
    for (const auto& c : cases) {
        Write("c.ini", c.before);
        int status = 0;
        std::string out, err;
        const card::CardMemory card = Format(Path("c.ini"), status, out, err);
        if (c.serial) {
            EXPECT_EQ(status, 0) << c.afterOrSays << ": " << err;
            EXPECT_EQ(card::ReadCardLong(card, 13), c.serial) << c.afterOrSays;
            EXPECT_EQ(Read("c.ini"), c.afterOrSays);
        } else {
            EXPECT_EQ(status, 1) << c.afterOrSays;
            EXPECT_EQ(card, blank) << c.afterOrSays;
            EXPECT_NE(err.find(c.afterOrSays), std::string::npos) << err;
            EXPECT_EQ(err.find('\x1B'), std::string::npos) << "escaped: " << err;
            EXPECT_EQ(Read("c.ini"), c.before) << c.afterOrSays;
        }
    }
}

TEST(IniText, ValuesAreFoundAndReplacedInPlace) {
    using workflows::ini::Value;
    using workflows::ini::WithValue;
    const struct {
        const char* text;
        std::optional<std::string> value;
        const char* after; // with the value set to 7
    } cases[] = {
        {"", std::nullopt, "[Format]\nNextSerial=7\n"},
        {"[Other]\nNextSerial=3", std::nullopt,
         "[Other]\nNextSerial=3\n\n[Format]\nNextSerial=7\n"},
        {"[Format]\nA=1\n\n[B]\n", std::nullopt, "[Format]\nA=1\nNextSerial=7\n\n[B]\n"},
        {"[Format]\nA=1", std::nullopt, "[Format]\nA=1\nNextSerial=7"},
        {"[Format]\n;NextSerial=5\nNextSerial=\"12\"\n", "12",
         "[Format]\n;NextSerial=5\nNextSerial=\"7\"\n"},
        {"[Format]\rA=1\r", std::nullopt, "[Format]\rA=1\rNextSerial=7\r"},
        {" [ Format ] \n NextSerial\t=\t1000000\t\n", "1000000",
         " [ Format ] \n NextSerial\t=\t7\t\n"},
        {"[Format]\nNextSerial=\n", "", "[Format]\nNextSerial=7\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.text, "Format", "NextSerial"), c.value) << c.text;
        EXPECT_EQ(WithValue(c.text, "Format", "NextSerial", "7"), c.after) << c.text;
    }
}

TEST(DefaultConfigFile, LiesInTheUsersConfigurationFolder) {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(home, nullptr) << "the test's environment sets XDG_CONFIG_HOME";
    EXPECT_EQ(workflows::DefaultConfigFile(),
              std::string(home) + "/ostrel-chipcard/ostrel-chipcard.ini");
}
