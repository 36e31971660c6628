// What a user types after the command and where its results go: numbers that are plain
// decimals or refused before the card is touched, and output that is either written or a
// failure.
#include "../cli_run.h"

#include "reader/virtual_card_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct CommandLineValues : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/ostrel-cli-values-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
        // The journal of card operations goes here, not into the user's own data folder.
        ::setenv("OSTREL_DATA_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("OSTREL_DATA_DIR");
        fs::remove_all(dir);
    }
    std::string card() const {
        const std::string path = (dir / "c.card").string();
        EXPECT_EQ(OstrelCard({"card", "new", path, "--force"}).status, 0);
        return path;
    }
};

// The windows read "abc" as 0 and "1e2" as 1; typed as an argument they are mistakes, refused
// with status 2 before the reader is opened, so the card file is not even rewritten.
TEST_F(CommandLineValues, NumbersArePlainDecimalsOrRefusedBeforeAnyCardTraffic) {
    const struct {
        std::vector<std::string> args;
        int credits; // -1: refused
    } cases[] = {
        {{"credit", "12"}, 12},
        {{"credit", "2.5"}, 2},
        {{"credit", "3,5"}, 4},
        {{"credit", "007"}, 7},
        {{"credit", "255.4"}, 255},
        {{"credit", "0"}, 0},
        {{"credit", "abc"}, -1},
        {{"credit", ""}, -1},
        {{"credit", "nan"}, -1},
        {{"credit", "1e2"}, -1},
        {{"credit", "-1"}, -1},
        {{"credit", "+3"}, -1},
        {{"credit", " 3"}, -1},
        {{"credit", "3."}, -1},
        {{"credit", "2.5.1"}, -1},
        {{"credit", "255.5"}, -1},
        {{"credit", "99999999999999999999"}, -1},
        {{"token", "6", "--credits", "abc"}, -1},
        {{"token", "6", "--credits", "9,5"}, 10},
        {{"token", "6"}, 0},
        {{"token", "2", "--credits", "40"}, 5},
        {{"token", "x"}, -1},
        {{"token", "256"}, -1},
    };
    for (const auto& c : cases) {
        const std::string path = card();
        const std::string before = Read(path);
        std::vector<std::string> args = {"--reader", "sim:" + path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = OstrelCard(args);
        const std::string what = c.args.front() + " « " + c.args.back() + " »";
        if (c.credits < 0) {
            EXPECT_EQ(run.status, 2) << what;
            EXPECT_EQ(run.out, "") << what;
            EXPECT_NE(run.err.find("de 0 à 255"), std::string::npos) << what << ": " << run.err;
            EXPECT_EQ(Read(path), before) << what;
            continue;
        }
        EXPECT_EQ(run.status, 0) << what << ": " << run.err;
        EXPECT_EQ(run.out, "Retirez la carte\ncredits: " + std::to_string(c.credits) + "\n")
            << what;
        reader::Sle4442Chip chip;
        ASSERT_TRUE(reader::LoadCardFile(path, chip).ok);
        EXPECT_EQ(chip.memory()[65], c.credits) << what;
    }
}

// A result that could not be written is no success: each command's output sent to a full
// device ends with the reason on stderr and a non-zero status.
TEST_F(CommandLineValues, OutputLostOnAFullDeviceIsAFailure) {
    const fs::path full = dir / "full";
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
    const std::string path = card();
    const std::vector<std::string> commands = {
        "--help",
        "--config " + (dir / "ostrel.ini").string() + " --reader sim:" + path +
            " format",                    // formats the card, then cannot say so
        "--reader sim:" + path + " dump", // a formatted card: only the output fails
        "des encrypt-text abc --key k --hex",
    };
    for (const std::string& command : commands) {
        const std::string line = std::string(OSTREL_CARD_PROGRAM) + " " + command + " > " +
                                 full.string() + " 2> " + (dir / "err").string();
        const int status = std::system(line.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_NE(WEXITSTATUS(status), 0) << command;
        const std::string err = Read(dir / "err");
        // The last line; the system's reason follows when it is still known.
        const std::string said = "ostrel-card : écriture de la sortie standard impossible";
        const auto last = err.rfind('\n', err.size() - 2);
        EXPECT_EQ(err.compare(last == std::string::npos ? 0 : last + 1, said.size(), said), 0)
            << command << ": " << err;
    }
    // The same commands with a sink that takes it all succeed.
    const std::string fine =
        std::string(OSTREL_CARD_PROGRAM) + " --help > " + (dir / "out").string();
    EXPECT_EQ(std::system(fine.c_str()), 0);
}

} // namespace
