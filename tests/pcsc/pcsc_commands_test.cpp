#include "vpcd_support.h"

#include "../cli_run.h"
#include "reader/card_session.h"
#include "reader/security_code.h"
#include "reader/virtual_card_file.h"

#include <bit>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace ostrel;
using namespace vpcd_support;
namespace fs = std::filesystem;

extern char** environ;

namespace {

std::string Demo(const std::string& name) {
    return (fs::path(OSTREL_DEMO_DECK_DIR) / name).string();
}

// ostrel-card run as its own process, stopped by its PID.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        std::vector<std::string> all{OSTREL_CARD_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        for (auto& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    // The exit status after SIGTERM (or on its own when signal is 0); -1 when killed by a signal.
    int stop(int signal = SIGTERM) {
        if (signal)
            ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

struct CommandsOverPcsc : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        if (const std::string why = VpcdUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        dir = TestFolder("ostrel-pcsc-cli");
        ASSERT_TRUE(ReaderEmptied());
    }
    void TearDown() override {
        if (dir.empty())
            return; // skipped
        EXPECT_TRUE(ReaderEmptied());
        fs::remove_all(dir);
    }
    std::string Copy(const std::string& name) {
        const fs::path copy = dir / name;
        fs::copy_file(Demo(name), copy, fs::copy_options::overwrite_existing);
        return copy.string();
    }
    // Waits until pcscd sees the card in the vpcd reader (or sees it gone).
    static bool CardShown(bool present) {
        reader::pcsc::PcscReader reader(kVpcdReader);
        const std::int32_t handle = reader.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        return handle >= 0 && WaitForCard(reader, handle, present);
    }
};

// The commands in each dialect; ostrel-card finds the dialect itself (--dialect auto).
struct CommandsInDialect : CommandsOverPcsc, ::testing::WithParamInterface<Dialect> {
    std::string dialectName() const {
        return std::string(reader::dialect::TableOf(GetParam()).name);
    }
};

// The card commands in each dialect and each shape of its replies.
struct CommandsInEmulation : CommandsOverPcsc, ::testing::WithParamInterface<Emulation> {};

TEST_P(CommandsInEmulation, IdentifyAndDumpPrintWhatTheyPrintOnTheSimulatedReader) {
    for (const char* name : {"formatted-serial-1000000.card", "blank-supplier-04.card",
                             "not-an-sle4442.card", "foreign-application.card"}) {
        SCOPED_TRACE(name);
        const std::string file = Copy(name);
        std::string error;
        ServedCard served(reader::VirtualCard::FromFile(file, error), GetParam());
        ASSERT_TRUE(served.insert());
        ASSERT_TRUE(CardShown(true));
        for (const char* command : {"identify", "dump"}) {
            const CliRun simulated = OstrelCard({"--reader", "sim:" + file, command});
            const std::string trace = (dir / "trace").string();
            const CliRun pcsc =
                OstrelCard({"--reader", "pcsc", "--trace=" + trace, "--trace-overwrite", command});
            EXPECT_EQ(pcsc.status, simulated.status) << command;
            EXPECT_EQ(pcsc.out, simulated.out) << command;
            EXPECT_EQ(pcsc.err, "") << command;
            // Each session is ended once, whatever the card.
            std::ifstream in(trace);
            int ends = 0;
            for (std::string line; std::getline(in, line);)
                ends += line.find("EndSession(1) -> 0") != std::string::npos;
            EXPECT_EQ(ends, 1) << command;
        }
        served.remove();
        ASSERT_TRUE(CardShown(false));
    }
}

// Also show and credit on a card whose code is not the one the program presents: show costs
// nothing, the refusal of a credit exactly one attempt; with one attempt left, where the reader
// can read the counter, nothing is presented.
TEST_P(CommandsInEmulation, FormatCreditAndTokenLeaveTheCardsTheSimulatedReaderLeaves) {
    struct Run {
        const char* card;
        std::vector<std::string> command;
        std::uint8_t otherCodeCounter = 0; // nonzero: another code, and this error counter
        int attemptsAfter = -1;
    };
    const Run runs[] = {
        {"blank-supplier-04.card", {"format"}},
        {"blank-supplier-35.card", {"format"}},
        {"formatted-serial-1000000.card", {"format"}},
        {"formatted-serial-1000000.card", {"credit", "25"}},
        {"formatted-serial-1000000.card", {"token", "3"}},
        {"locked-for-good.card", {"credit", "5"}},
        {"formatted-serial-1000000.card", {"show"}, 0x07, 3}, // reads only
        {"formatted-serial-1000000.card", {"credit", "5"}, 0x07, 2},
        {"formatted-serial-1000000.card", {"credit", "5"}, 0x01, 1},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(std::string(run.card) + " " + run.command[0] + " " +
                     std::to_string(run.otherCodeCounter));
        // Only memcard readers read the counter; the others learn it from presentations.
        if (run.otherCodeCounter == 0x01 && GetParam().dialect != Dialect::Memcard)
            continue;
        const std::string simulatedCard = Copy(run.card);
        if (run.otherCodeCounter) {
            reader::Sle4442Chip chip;
            ASSERT_TRUE(reader::LoadCardFile(simulatedCard, chip).ok);
            chip.setCode(0x123456);
            chip.setErrorCounter(run.otherCodeCounter);
            ASSERT_TRUE(reader::SaveCardFile(simulatedCard, chip).ok);
        }
        const fs::path servedCard = dir / ("served-" + std::string(run.card));
        fs::copy_file(simulatedCard, servedCard, fs::copy_options::overwrite_existing);
        const std::string configs[] = {(dir / "sim.ini").string(), (dir / "pcsc.ini").string()};
        for (const auto& config : configs)
            std::ofstream(config) << "[Format]\nNextSerial=1000042\n";
        // A fresh journal for each run, as each starts the series again.
        const std::string journals[] = {(dir / "sim.sqlite").string(),
                                        (dir / "pcsc.sqlite").string()};
        for (const auto& journal : journals)
            fs::remove(journal);

        std::vector<std::string> args{
            "--reader", "sim:" + simulatedCard, "--config", configs[0], "--journal", journals[0]};
        args.insert(args.end(), run.command.begin(), run.command.end());
        const CliRun simulated = OstrelCard(args);

        std::string error;
        ServedCard served(reader::VirtualCard::FromFile(servedCard.string(), error), GetParam());
        ASSERT_TRUE(served.insert());
        ASSERT_TRUE(CardShown(true));
        args = {"--reader", "pcsc", "--config", configs[1], "--journal", journals[1]};
        args.insert(args.end(), run.command.begin(), run.command.end());
        const CliRun pcsc = OstrelCard(args);
        served.remove();
        ASSERT_TRUE(CardShown(false));

        EXPECT_EQ(pcsc.status, simulated.status);
        std::string expectedOut = simulated.out;
        // Without a code only memcard readers read the error counter.
        if (const auto at = expectedOut.find("attempts: 3");
            at != std::string::npos && GetParam().dialect != Dialect::Memcard) {
            expectedOut.replace(at, 11, "attempts: inconnu");
        }
        EXPECT_EQ(pcsc.out, expectedOut);
        EXPECT_EQ(pcsc.err, simulated.err);
        reader::Sle4442Chip expected, got;
        ASSERT_TRUE(reader::LoadCardFile(simulatedCard, expected).ok);
        ASSERT_TRUE(reader::LoadCardFile(servedCard.string(), got).ok);
        EXPECT_EQ(got.memory(), expected.memory());
        EXPECT_EQ(got.errorCounter(), expected.errorCounter());
        if (run.attemptsAfter >= 0) {
            EXPECT_EQ(std::popcount(got.errorCounter()), run.attemptsAfter);
        }
        std::ifstream simIni(configs[0]), pcscIni(configs[1]);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(pcscIni), {}),
                  std::string(std::istreambuf_iterator<char>(simIni), {}));
    }
}

TEST_P(CommandsInDialect, TheFormattedDemoCardIsValidThroughANamedReader) {
    std::string error;
    ServedCard served(reader::VirtualCard::FromFile(Copy("formatted-serial-1000000.card"), error),
                      GetParam());
    ASSERT_TRUE(served.insert());
    ASSERT_TRUE(CardShown(true));
    const CliRun run = OstrelCard({"--reader", std::string("pcsc:") + kVpcdReader, "identify"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "carte valide");
}

// readers names the dialect it finds; a dialect set in the configuration is used unless
// --dialect says otherwise, and a wrong one is said so, with what to do.
TEST_P(CommandsInDialect, ReadersNamesTheDialectAndAWrongOneIsSaidSo) {
    std::string error;
    ServedCard served(reader::VirtualCard::FromFile(Copy("formatted-serial-1000000.card"), error),
                      GetParam());
    ASSERT_TRUE(served.insert());
    ASSERT_TRUE(CardShown(true));
    const CliRun readers = OstrelCard({"readers"});
    EXPECT_EQ(readers.status, 0);
    EXPECT_NE(readers.out.find(std::string(kVpcdReader) +
                               " : carte, ATR 3B 04 A2 13 10 91, jeu de commandes " +
                               dialectName() + "\n"),
              std::string::npos)
        << readers.out;

    const std::string wrong = GetParam() == Dialect::Iso ? "memcard" : "iso";
    const std::string config = (dir / "reader.ini").string();
    std::ofstream(config) << "[Reader]\nDialect=" << wrong << "\n";
    const CliRun refused = OstrelCard({"--reader", "pcsc", "--config", config, "identify"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "Carte inconnue. Erreur de lecture.\n");
    EXPECT_EQ(refused.err, "ostrel-card : lecteur « " + std::string(kVpcdReader) +
                               " » : la carte ne répond pas au jeu de commandes " + wrong +
                               " ; choisissez --dialect\n");
    for (const std::string& dialect : {std::string("auto"), dialectName()}) {
        const CliRun run =
            OstrelCard({"--reader", "pcsc", "--config", config, "--dialect", dialect, "identify"});
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "carte valide") << dialect;
    }
    std::ofstream(config) << "[Reader]\nDialect=" << dialectName() << "\n";
    EXPECT_EQ(OstrelCard({"--reader", "pcsc", "--config", config, "identify"}).status, 0);
    std::ofstream(config) << "[Reader]\nDialect=ccid\n";
    EXPECT_EQ(OstrelCard({"--reader", "pcsc", "--config", config, "identify"}).err,
              "ostrel-card : configuration " + config +
                  ", [Reader] Dialect : jeu de commandes inconnu « ccid » : auto, memcard, "
                  "storage ou iso attendu\n");
}

TEST_F(CommandsOverPcsc, AnEmptyOrUnknownReaderIsSaidSo) {
    EXPECT_EQ(OstrelCard({"--reader", "pcsc", "identify"}).err,
              "ostrel-card : pas de carte dans le lecteur\n");
    const CliRun unknown = OstrelCard({"--reader", "pcsc:Lecteur inconnu", "identify"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err.rfind("ostrel-card : aucun lecteur de cartes ne répond", 0), 0u)
        << unknown.err;
}

TEST_P(CommandsInDialect, VpcdCardServesTheFileUntilStoppedAndKeepsWhatWasWritten) {
    const std::string file = Copy("blank-supplier-04.card");
    Child server({"vpcd-card", file, "--dialect", dialectName()});
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(CardShown(true));

    reader::pcsc::PcscReader reader(kVpcdReader);
    reader::SharedState state(reader);
    state.ReaderHandle = reader.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
    ASSERT_TRUE(reader::StartCardSession(state));
    ASSERT_EQ(reader::PresentSecurityCode(state, reader::kTransportCode), 7);
    state.WriteImage[200] = 0x5A;
    EXPECT_EQ(reader::WriteCardMemory(state, 200, 1), 0);
    reader::EndCardSession(state);

    EXPECT_EQ(server.stop(SIGTERM), 0);
    EXPECT_TRUE(WaitForCard(reader, state.ReaderHandle, false));
    reader::Sle4442Chip chip;
    ASSERT_TRUE(reader::LoadCardFile(file, chip).ok);
    EXPECT_EQ(chip.memory()[200], 0x5A);
}

// A reader that acknowledges every write and drops every second one: the check after each write
// reads the chip, never the copy read before it, so the credit (three writes, the second
// dropped) is recorded as failed, in every dialect, and the card keeps its date.
TEST_P(CommandsInDialect, AWriteTheReaderDroppedIsAFailedWrite) {
    const std::string file = Copy("formatted-serial-1000000.card");
    reader::Sle4442Chip before;
    ASSERT_TRUE(reader::LoadCardFile(file, before).ok);
    Child server({"vpcd-card", file, "--dialect", dialectName(), "--variant", "drops-writes"});
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(CardShown(true));
    const std::string journal = (dir / "journal.sqlite").string();
    const CliRun credit = OstrelCard({"--reader", "pcsc", "--journal", journal, "credit", "7"});
    EXPECT_EQ(server.stop(SIGTERM), 0);
    ASSERT_TRUE(CardShown(false));

    EXPECT_EQ(credit.status, 1);
    EXPECT_NE(credit.out.find("la carte n'a pas gardé les données"), std::string::npos)
        << credit.out << credit.err;
    // Newest first: the credit, after the rewrite at insertion, which had nothing to write.
    const CliRun listed = OstrelCard({"--journal", journal, "journal"});
    std::istringstream lines(listed.out);
    std::string heading, newest;
    std::getline(lines, heading);
    std::getline(lines, newest);
    EXPECT_NE(newest.find("\tcrédit\t"), std::string::npos) << listed.out;
    EXPECT_EQ(newest.substr(newest.rfind('\t') + 1), "échec d'écriture") << listed.out;
    reader::Sle4442Chip after;
    ASSERT_TRUE(reader::LoadCardFile(file, after).ok);
    EXPECT_TRUE(std::equal(after.memory().begin() + 13, after.memory().begin() + 22,
                           before.memory().begin() + 13))
        << "the serial and date range, whose write was dropped";
}

TEST_F(CommandsOverPcsc, VpcdCardRefusesWhatItCannotServe) {
    EXPECT_EQ(Child({"vpcd-card", (dir / "absent.card").string()}).stop(0), 1);
    EXPECT_EQ(Child({"vpcd-card", Copy("blank-supplier-04.card"), "--port", "0"}).stop(0), 2);
    EXPECT_EQ(Child({"vpcd-card", Copy("blank-supplier-04.card"), "--port", "35963x"}).stop(0), 2);
    EXPECT_EQ(Child({"vpcd-card"}).stop(0), 2);
    EXPECT_EQ(Child({"vpcd-card", Copy("blank-supplier-04.card"), "--dialect", "ccid"}).stop(0), 2);
    EXPECT_EQ(Child({"vpcd-card", Copy("blank-supplier-04.card"), "--variant", "new"}).stop(0), 2);
    EXPECT_EQ(Child({"vpcd-card", Copy("blank-supplier-04.card"), "--dialect", "storage",
                     "--variant", "older"})
                  .stop(0),
              2);
    // The card side has no reader calls to trace.
    EXPECT_EQ(Child({"--trace", "vpcd-card", Copy("blank-supplier-04.card")}).stop(0), 2);
    // Nothing listens on port 9: no reader to put the card into.
    EXPECT_EQ(Child({"vpcd-card", Copy("blank-supplier-04.card"), "--port", "9"}).stop(0), 1);
}

INSTANTIATE_TEST_SUITE_P(Dialects, CommandsInDialect, kEveryDialect, DialectName);
INSTANTIATE_TEST_SUITE_P(Emulations, CommandsInEmulation, kEveryEmulation, EmulationName);

} // namespace
