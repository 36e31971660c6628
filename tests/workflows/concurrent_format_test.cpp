// ostrel-card format run by many processes at once, and the journal's refusals: every serial
// is given to one card only, and every card written is known to the journal.
#include "card/codecs.h"
#include "command_registry.h"
#include "journal/sqlite_journal.h"
#include "reader/virtual_card_file.h"
#include "run_together.h"
#include "test_cards.h"
#include "workflows/serial_numbers.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

struct JournalledFormat : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/ostrel-concurrent-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Card(const std::string& name) const {
        EXPECT_TRUE(reader::SaveCardFile(Path(name), BlankCard()->chip()).ok);
        return Path(name);
    }
    card::CardMemory Memory(const std::string& path) const {
        reader::Sle4442Chip chip;
        EXPECT_TRUE(reader::LoadCardFile(path, chip).ok);
        return chip.memory();
    }
    std::string ConfigText() const {
        std::ifstream in(Path("c.ini"));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int Run(std::vector<std::string> args, std::string& out, std::string& err,
            const std::string& journal = {}) const {
        std::ostringstream o, e;
        cli::CommandIo io{o, e, false};
        args.insert(args.begin(), {"--config", Path("c.ini"), "--journal",
                                   journal.empty() ? Path("j.sqlite") : journal});
        const int status = cli::RunOstrelCard(args, io);
        out = o.str();
        err = e.str();
        return status;
    }
};

} // namespace

TEST_F(JournalledFormat, TwentyProgramsAtOnceGiveTwentySerials) {
    // 1000181: the series crosses the marker rule's jump to 1065472 on the way.
    std::ofstream(Path("c.ini")) << "[Format]\nNextSerial=1000181\n";
    constexpr int kRuns = 20;
    std::vector<std::vector<std::string>> commands;
    std::vector<std::string> cards;
    for (int i = 0; i < kRuns; ++i) {
        cards.push_back(Card("card" + std::to_string(i)));
        commands.push_back({OSTREL_CARD_PROGRAM, "--reader", "sim:" + cards.back(), "--config",
                            Path("c.ini"), "--journal", Path("j.sqlite"), "format"});
    }
    const std::vector<int> statuses = RunTogether(commands);
    ASSERT_EQ(statuses, std::vector<int>(kRuns, 0));

    std::set<std::int64_t> serials;
    for (const auto& card : cards)
        serials.insert(card::ReadCardLong(Memory(card), 13));
    std::int64_t expectedNext = 1000181;
    std::set<std::int64_t> expected;
    for (int i = 0; i < kRuns; ++i) {
        expected.insert(expectedNext);
        expectedNext = *workflows::NextMarkedSerial(expectedNext);
    }
    EXPECT_EQ(serials, expected) << "20 distinct serials, the next 20 of the series";
    EXPECT_EQ(ConfigText(), "[Format]\nNextSerial=" + std::to_string(expectedNext) + "\n");

    journal::SqliteJournal records(Path("j.sqlite"));
    std::vector<journal::Entry> entries;
    std::string error;
    ASSERT_TRUE(records.List({}, entries, error)) << error;
    std::set<std::int64_t> issued;
    for (const auto& e : entries) {
        EXPECT_EQ(e.outcome, journal::kVerified);
        EXPECT_EQ(card::ReadCardLong(Memory(e.reader.substr(4)), 13), e.serialNew);
        issued.insert(*e.serialNew);
    }
    EXPECT_EQ(entries.size(), static_cast<std::size_t>(kRuns));
    EXPECT_EQ(issued, expected);
    // Serials the series gave up: taken from the configuration but on no card.
    const std::string text = ConfigText();
    const std::int64_t next = std::stoll(text.substr(text.find('=') + 1));
    std::size_t taken = 0;
    for (std::int64_t s = 1000181; s < next; s = *workflows::NextMarkedSerial(s))
        ++taken;
    std::cout << "concurrent formats: " << kRuns << " runs, " << serials.size()
              << " distinct serials, " << taken - serials.size() << " gaps\n";
}

TEST_F(JournalledFormat, ASetBackSerialIsPassedOverAndTheJournalStopsWhenItCannotBeWritten) {
    std::ofstream(Path("c.ini")) << "[Format]\nNextSerial=1000000\n";
    std::string out, err;
    ASSERT_EQ(Run({"--reader", "sim:" + Card("a"), "format"}, out, err), 0) << err;

    // Set back onto the serial just given: moved past it, the operator told which it passed.
    std::ofstream(Path("c.ini")) << "[Format]\nNextSerial=1000000\n";
    const std::string b = Card("b");
    EXPECT_EQ(Run({"--reader", "sim:" + b, "format"}, out, err), 0) << err;
    EXPECT_NE(out.find("serial: 1000001"), std::string::npos) << out;
    EXPECT_NE(err.find("numéro 1000000 déjà vu sur une carte le 20"), std::string::npos) << err;
    EXPECT_EQ(ConfigText(), "[Format]\nNextSerial=1000002\n");

    // A journal that cannot be written: nothing is written to the card, nothing is reserved.
    fs::create_directory(Path("folder"));
    const std::string c = Card("c");
    for (const auto& command : {std::vector<std::string>{"format"}, {"credit", "5"}}) {
        std::vector<std::string> args = {"--reader", "sim:" + c};
        args.insert(args.end(), command.begin(), command.end());
        EXPECT_EQ(Run(args, out, err, Path("folder")), 1) << command[0];
        EXPECT_EQ(out, "Journal inutilisable : aucune carte n'est écrite\n") << command[0];
        EXPECT_NE(err.find(Path("folder") + " : c'est un dossier"), std::string::npos) << err;
        EXPECT_EQ(Memory(c), BlankCard()->chip().memory());
    }

    // The listing: newest first, by serial, by day, as CSV.
    ASSERT_EQ(Run({"journal"}, out, err), 0) << err;
    std::istringstream lines(out);
    std::string header, newest, oldest;
    std::getline(lines, header);
    std::getline(lines, newest);
    std::getline(lines, oldest);
    EXPECT_EQ(header.substr(0, header.find("\tprogramme")), "n°\theure (UTC)\tposte");
    EXPECT_NE(newest.find("\tformatage\t1000001\t"), std::string::npos) << newest;
    EXPECT_NE(oldest.find("\tformatage\t1000000\t"), std::string::npos) << oldest;
    ASSERT_EQ(Run({"journal", "--serial", "1000001", "--csv"}, out, err), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_EQ(out.rfind("n°,heure (UTC),", 0), 0u);
    ASSERT_EQ(Run({"journal", "--since", "2999-01-01"}, out, err), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(Run({"journal", "--since", "2026-02-30"}, out, err), 2);
}
