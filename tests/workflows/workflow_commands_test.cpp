#include "../cli_run.h"
#include "../held_elsewhere.h"

#include "card/codecs.h"
#include "reader/virtual_card_file.h"
#include "test_cards.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

struct CommandsTest : ::testing::Test {
    fs::path dir;
    std::string config;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ostrel-wfcli-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        config = (dir / "ostrel.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Card(const std::string& name, const std::shared_ptr<reader::VirtualCard>& card) {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(reader::SaveCardFile(path, card->chip()).ok);
        return path;
    }
    static reader::Sle4442Chip Load(const std::string& path) {
        reader::Sle4442Chip chip;
        EXPECT_TRUE(reader::LoadCardFile(path, chip).ok);
        return chip;
    }
    CliRun Run(const std::string& card, std::vector<std::string> args) {
        args.insert(args.begin(), {"--reader", "sim:" + card, "--config", config, "--journal",
                                   (dir / "journal.sqlite").string()});
        return OstrelCard(args);
    }
    void Configure(const std::string& text) { std::ofstream(config) << text; }
};

} // namespace

TEST_F(CommandsTest, FormatGivesEachBlankCardItsOwnSerial) {
    const std::string first = Card("a.card", BlankCard());
    const std::string second = Card("b.card", BlankCard(0x46, 0x2F6AD8));
    CliRun run = Run(first, {"format"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Formatage OK, retirez la carte\nserial: 1000000\n");
    run = Run(second, {"format"});
    EXPECT_EQ(run.out, "Formatage OK, retirez la carte\nserial: 1000001\n");
    EXPECT_EQ(card::ReadCardLong(Load(second).memory(), 13), 1000001);
    run = Run(first, {"format"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Formatage OK, retirez la carte\nold serial: 1000000\n");
}

TEST_F(CommandsTest, FormatRefusesAnUnusableSerialBeforeTouchingTheCard) {
    Configure("[Format]\nNextSerial=1000192\n");
    const std::string path = Card("a.card", BlankCard());
    const CliRun run = Run(path, {"format"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Configuration refusée"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(config), std::string::npos) << run.err;
    EXPECT_EQ(Load(path).memory(), BlankCard()->chip().memory());
}

TEST_F(CommandsTest, TheLastAttemptIsSpentOnlyWhenAskedFor) {
    auto card = BlankCard();
    card->chip().setErrorCounter(4);
    const std::string path = Card("a.card", card);
    CliRun run = Run(path, {"format"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Carte vérouillée. Nombre de tentative restante = 1, Retirez la carte\n");
    EXPECT_EQ(Load(path).errorCounter(), 4);
    run = Run(path, {"credit", "3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Load(path).errorCounter(), 4);
    run = Run(path, {"format", "--use-last-attempt"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Load(path).errorCounter(), 7);
}

TEST_F(CommandsTest, CreditAndTokenReadTheirNumbersAsTheWindowDoes) {
    const struct {
        std::vector<std::string> args;
        std::uint8_t kind;
        std::uint8_t credits;
    } cases[] = {
        {{"credit", "2.5"}, 1, 2}, {{"credit", "3.5"}, 1, 4},
        {{"token", "2"}, 0, 5},    {{"token", "6", "--credits", "42"}, 0, 42},
        {{"token", "7"}, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string path = Card("a.card", BlankCard());
        const CliRun run = Run(path, c.args);
        EXPECT_EQ(run.status, 0) << c.args[1] << run.out << run.err;
        EXPECT_EQ(run.out, "Retirez la carte\ncredits: " + std::to_string(c.credits) + "\n");
        const auto memory = Load(path).memory();
        EXPECT_EQ(memory[64], c.kind);
        EXPECT_EQ(memory[65], c.credits);
    }
}

TEST_F(CommandsTest, OutOfRangeNumbersAreRefusedWithoutWriting) {
    const std::string path = Card("a.card", BlankCard());
    const auto before = Load(path).memory();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"credit", "256"},
                                                 {"token", "300"},
                                                 {"token", "6", "--credits", "-1"}}) {
        const CliRun run = Run(path, args);
        EXPECT_EQ(run.status, 2) << args[1]; // refused as typed, before the card is touched
        EXPECT_NE(run.err.find("0 à 255"), std::string::npos) << run.err;
    }
    EXPECT_EQ(Load(path).memory(), before);
    EXPECT_EQ(Run(path, {"credit"}).status, 2);
    EXPECT_EQ(Run(path, {"credit", "1", "2"}).status, 2);
    EXPECT_EQ(Run(path, {"token", "1", "--bogus"}).status, 2);
}

// show reads only: no code presented, nothing written, nothing journalled; the card file is
// byte for byte what it was, even for a formatted card the window would rewrite, a card with
// another code, or one with a single attempt left.
TEST_F(CommandsTest, ShowReadsTheCardAndLeavesItUntouchedRecordingOnlyWhatTheCheckFound) {
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string credit = Card("a.card", BlankCard());
    ASSERT_EQ(Run(credit, {"credit", "9"}).status, 0);
    auto formatted = FormattedCard();
    formatted->chip().memory()[64] = 0;
    formatted->chip().memory()[65] = 10;
    auto otherCode = FormattedCard();
    otherCode->chip().setCode(0x123456);
    otherCode->chip().setErrorCounter(0x01);
    auto foreign = BlankCard();
    foreign->chip().memory()[0] = 0x3B;
    const struct {
        std::string path;
        int status;
        std::string out;
    } cases[] = {
        {credit, 0, "carte CREDIT\nkind: credit\ncredits: 9\nserial: aucun\nattempts: 3\n"},
        {Card("f.card", formatted), 0,
         "carte JETON\nkind: token\ncredits: 10\nserial: 1000000\nattempts: 3\n"
         "Carte inconnue du journal\n"},
        {Card("o.card", otherCode), 1,
         "carte inconnue\nkind: unknown\ncredits: 255\nserial: 1000000\nattempts: 1\n"},
        {Card("b.card", BlankCard()), 1,
         "carte inconnue\nkind: unknown\ncredits: 255\nserial: aucun\nattempts: 3\n"},
        {Card("c.card", foreign), 1, ""},
    };
    const auto rows = [&] { return Run(credit, {"journal"}).out; };
    const std::string journalBefore = rows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string before = bytes(c.path);
        const CliRun run = Run(c.path, {"show"});
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out, c.out);
        if (c.out.empty()) {
            EXPECT_NE(run.err.find("Carte inconnue. Erreur de lecture."), std::string::npos);
        }
        EXPECT_EQ(bytes(c.path), before);
    }
    // Only the check that found a card unknown is recorded; the same serial seen again is known.
    const std::string journalAfter = rows();
    EXPECT_EQ(std::count(journalAfter.begin(), journalAfter.end(), '\n'),
              std::count(journalBefore.begin(), journalBefore.end(), '\n') + 1);
    EXPECT_NE(journalAfter.find("\tcontrôle\t\t1000000\t"), std::string::npos) << journalAfter;
}

TEST_F(CommandsTest, CommandsWaitTheConfiguredLimitForWhatAnotherProgramHolds) {
    const std::string journalFile = (dir / "journal.sqlite").string();
    ASSERT_EQ(Run(Card("first.card", BlankCard()), {"format"}).status, 0); // the journal exists
    const struct {
        const char* kind;
        std::string held;
        const char* refusal;
        int listing; // the journal command's status: reading needs no configuration lock
    } cases[] = {
        {"config", config + ".lock",
         "Configuration occupée par un autre programme : aucune carte n'est écrite\n", 0},
        {"journal", journalFile,
         "Journal occupé par un autre programme : aucune carte n'est écrite\n", 1},
    };
    Configure("[Format]\nNextSerial=1000001\n[Journal]\nAttente=1\n");
    for (const auto& c : cases) {
        HeldElsewhere holder(OSTREL_HOLD_LOCK, c.kind, c.held);
        ASSERT_TRUE(holder.held()) << c.kind;
        const std::string card = Card(std::string(c.kind) + ".card", BlankCard());
        const CliRun run = Run(card, {"format"});
        EXPECT_EQ(run.status, 1) << c.kind;
        EXPECT_EQ(run.out, c.refusal) << c.kind;
        EXPECT_NE(run.err.find("processus " + std::to_string(holder.pid())), std::string::npos)
            << run.err; // the program that held it is named
        EXPECT_EQ(Load(card).memory(), BlankCard()->chip().memory()) << c.kind;
        const CliRun listing = Run(card, {"journal"});
        EXPECT_EQ(listing.status, c.listing) << c.kind << listing.err;
        if (c.listing != 0) {
            EXPECT_NE(listing.err.find("occupé par le processus " + std::to_string(holder.pid())),
                      std::string::npos)
                << listing.err;
        }
    }
    Configure("[Format]\nNextSerial=1000001\n[Journal]\nAttente=trente\n");
    for (const char* command : {"format", "journal"}) {
        const CliRun refused = Run(Card("bad.card", BlankCard()), {command});
        EXPECT_EQ(refused.status, 1) << command;
        EXPECT_NE(refused.err.find("[Journal] Attente"), std::string::npos) << refused.err;
    }
}

namespace {

// The settings window's reader: [Lecteur] Nom names the PC/SC reader without --reader, and
// [Lecteur] Jeu its command set; the options win.
TEST_F(CommandsTest, TheConfiguredReaderIsUsedWithoutTheOptionWhichWins) {
    std::ofstream(config) << "[Lecteur]\nNom=Lecteur du guichet\nJeu=storage\n";
    const CliRun named = OstrelCard({"--config", config, "identify"});
    EXPECT_EQ(named.status, 1);
    EXPECT_NE(named.err.find("lecteur demandé : « Lecteur du guichet »"), std::string::npos)
        << named.err;
    const std::string card = Card("blank.card", BlankCard(0x04, 0x5E2B71));
    EXPECT_EQ(OstrelCard({"--config", config, "--reader", "sim:" + card, "dump"}).status, 0);
    std::ofstream(config) << "[Lecteur]\nNom=Lecteur du guichet\nJeu=ccid\n";
    EXPECT_EQ(OstrelCard({"--config", config, "identify"}).err,
              "ostrel-card : configuration " + config +
                  ", [Lecteur] Jeu : jeu de commandes inconnu « ccid » : automatique, memcard, "
                  "storage ou iso attendu\n");
    EXPECT_EQ(
        OstrelCard({"--config", config, "--dialect", "iso", "--reader", "sim:" + card, "dump"})
            .status,
        0);
}

} // namespace
