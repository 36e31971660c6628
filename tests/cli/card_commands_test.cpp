#include "../cli_run.h"

#include "../trace_lines.h"

#include "reader/virtual_card_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

using namespace ostrel;

namespace {

struct CliFixture : ::testing::Test {
    std::filesystem::path dir;
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("ostrel-cli-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }

    // A card written by "card new", then changed as a test needs.
    std::string card(const std::string& name,
                     const std::function<void(reader::Sle4442Chip&)>& change = {}) {
        const std::string path = file(name);
        EXPECT_EQ(OstrelCard({"card", "new", path}).status, 0);
        if (change) {
            reader::Sle4442Chip chip;
            EXPECT_TRUE(reader::LoadCardFile(path, chip).ok);
            change(chip);
            EXPECT_TRUE(reader::SaveCardFile(path, chip).ok);
        }
        return path;
    }
};

void Format(reader::Sle4442Chip& chip) {
    chip.memory()[13] = 0x00;
    chip.memory()[14] = 0x0F;
    chip.memory()[15] = 0x42;
    chip.memory()[16] = 0x40;
    chip.memory()[17] = 1;
    chip.memory()[44] = 3;
}

} // namespace

TEST_F(CliFixture, CardNewWritesABlankCardOfTheSupplier) {
    const std::string path = file("b.card");
    ASSERT_EQ(OstrelCard({"card", "new", path, "--supplier", "35"}).status, 0);
    reader::Sle4442Chip chip;
    ASSERT_TRUE(reader::LoadCardFile(path, chip).ok);
    EXPECT_EQ(chip.code(), 0x93C4E7u);
    EXPECT_EQ(chip.errorCounter(), 7);
    EXPECT_EQ(chip.memory()[25], 0x35);
    EXPECT_EQ(chip.memory()[0], 0xA2);
    EXPECT_EQ(chip.memory()[4], 0xFF);

    const CliRun again = OstrelCard({"card", "new", path});
    EXPECT_NE(again.status, 0);
    EXPECT_NE(again.err.find("existe déjà"), std::string::npos);
    EXPECT_EQ(
        OstrelCard({"card", "new", path, "--supplier", "07", "--force", "--counter", "3"}).status,
        0);
    ASSERT_TRUE(reader::LoadCardFile(path, chip).ok);
    EXPECT_EQ(chip.code(), 0xFFFFFFu);
    EXPECT_EQ(chip.errorCounter(), 3);
    EXPECT_EQ(OstrelCard({"card", "new", path, "--code", "A1B2C3", "--force"}).status, 0);
    ASSERT_TRUE(reader::LoadCardFile(path, chip).ok);
    EXPECT_EQ(chip.code(), 0xA1B2C3u);
}

TEST_F(CliFixture, BadValuesAndOptionsAreRefusedOnOneLine) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"card", "new", file("x"), "--supplier", "4"},
             {"card", "new", file("x"), "--code", "12345G"},
             {"card", "new", file("x"), "--counter", "8"},
             {"card", "new"},
             {"card", "old", file("x")},
             {"card", "new", file("x"), "--colour"},
             {"--reader", "usb", "identify"},
             {"--reader", "sim:", "identify"},
             {"--reader"},
             {"frobnicate"},
             {"identify", "extra"},
             {"--trace-codes", "identify"},
             {"--trace=" + file("no/such/folder/t.log"), "--reader", "sim:" + card("t.card"),
              "identify"},
             {"dump", "--security=1"},
         }) {
        const CliRun run = OstrelCard(args);
        EXPECT_NE(run.status, 0) << args.back();
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(file("x")));
    for (const char* command : {"card", "identify", "dump"}) {
        const CliRun help = OstrelCard({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find("usage"), std::string::npos);
    }
}

// The manual page is made from these two answers (help2man).
TEST_F(CliFixture, VersionAndUsageAnswerOnTheStandardOutput) {
    const CliRun version = OstrelCard({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "ostrel-card " OSTREL_VERSION "\n");
    const CliRun usage = OstrelCard({"--help"});
    EXPECT_EQ(usage.status, 0);
    EXPECT_NE(usage.out.find("--version"), std::string::npos);
    EXPECT_TRUE(usage.err.empty());
}

TEST_F(CliFixture, IdentifyGivesTheVerdictAndType) {
    const CliRun blank = OstrelCard({"--reader", "sim:" + card("blank.card"), "identify"});
    EXPECT_EQ(blank.status, 1);
    EXPECT_EQ(blank.out, "cette carte n'est pas formatée \n");

    const CliRun valid = OstrelCard({"--reader", "sim:" + card("f.card", Format), "identify"});
    EXPECT_EQ(valid.status, 0);
    EXPECT_EQ(valid.out, "carte valide\ntype: 3\n");

    const CliRun foreign = OstrelCard({"--reader",
                                       "sim:" + card("o.card",
                                                     [](auto& chip) {
                                                         Format(chip);
                                                         chip.memory()[17] = 2;
                                                     }),
                                       "identify"});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_EQ(foreign.out, "cette carte n'est pas une application QEL \n");

    const CliRun other = OstrelCard(
        {"--reader", "sim:" + card("n.card", [](auto& chip) { chip.memory()[1] = 0x00; }),
         "identify"});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.out, "Carte inconnue. Erreur de lecture.\n");
}

TEST_F(CliFixture, DumpPrintsSixteenLinesThenTheVerdict) {
    const CliRun valid = OstrelCard({"--reader", "sim:" + card("f.card", Format), "dump"});
    EXPECT_EQ(valid.status, 0);
    EXPECT_EQ(valid.out.substr(0, 80), "00: A2131091 FFFFFFFF FFFFFFFF FF000F42\n"
                                       "01: 4001FFFF FFFFFFFF FF04FFFF FFFFFFFF\n");
    EXPECT_EQ(valid.out.substr(valid.out.size() - 13), "carte valide\n");
    EXPECT_EQ(std::count(valid.out.begin(), valid.out.end(), '\n'), 17);

    const CliRun other = OstrelCard(
        {"--reader", "sim:" + card("n.card", [](auto& chip) { chip.memory()[0] = 0x3B; }), "dump"});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.out.substr(0, 40), "00: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF\n");
}

TEST_F(CliFixture, MissingOrMalformedCardFileNamesIt) {
    const CliRun missing = OstrelCard({"--reader", "sim:" + file("none.card"), "identify"});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("none.card"), std::string::npos);
    const std::string path = card("bad.card");
    std::ofstream(path, std::ios::app) << "colour: red\n";
    const CliRun bad = OstrelCard({"--reader", "sim:" + path, "dump"});
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("bad.card, ligne 21"), std::string::npos) << bad.err;
    EXPECT_TRUE(bad.out.empty());
}

TEST_F(CliFixture, EmptyDeckHasNoCard) {
    const CliRun run = OstrelCard({"--reader", "sim:" + dir.string(), "identify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("pas de carte"), std::string::npos);
}

TEST_F(CliFixture, TraceOfAnIdentificationOnTheSimulatedReader) {
    const std::string trace = file("identify.trace");
    const CliRun run =
        OstrelCard({"--reader", "sim:" + card("f.card", Format), "--trace=" + trace, "identify"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    std::ifstream in(trace);
    ExpectTrace({std::istreambuf_iterator<char>(in), {}},
                std::filesystem::path(OSTREL_TRACES_DIR) / "sim_identify.trace");
    // It holds card contents: its owner's only.
    EXPECT_EQ(std::filesystem::status(trace).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(CliFixture, TheTraceMasksPresentedCodesUnlessAsked) {
    const std::string config = file("c.ini");
    std::ofstream(config) << "[Format]\nNextSerial=1000000\n";
    for (const bool show : {false, true}) {
        std::vector<std::string> args{
            "--reader",  "sim:" + card(show ? "s.card" : "m.card"), "--config", config,
            "--journal", file(show ? "s.journal" : "m.journal"),    "--trace"};
        if (show)
            args.push_back("--trace-codes");
        args.push_back("format");
        const CliRun run = OstrelCard(args);
        EXPECT_EQ(run.status, 0) << run.err;
        // The transport code 5E2B71 goes least significant byte first.
        const auto count = [&](const std::string& what) {
            std::size_t n = 0;
            for (auto at = run.err.find(what); at != std::string::npos;
                 at = run.err.find(what, at + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(count("Lc 3, Le 4 : ** ** **)"), show ? 0u : 1u) << run.err;
        EXPECT_EQ(count("puce comparer le code ** ** ** -> 07"), show ? 0u : 1u) << run.err;
        EXPECT_EQ(count("71 2B 5E"), show ? 2u : 0u) << run.err;
    }
}

TEST_F(CliFixture, DumpSecurityTellsAttemptsAndProtectedBytesWithoutSpendingAny) {
    struct Case {
        std::uint8_t counter;
        std::vector<int> protectedBytes;
        const char* line;
    };
    for (const Case& c : std::vector<Case>{
             {7, {}, "sécurité : 3 essais ; octets protégés : aucun"},
             {6, {0, 1, 2, 3, 25}, "sécurité : 2 essais ; octets protégés : 0–3, 25"},
             {4, {31}, "sécurité : 1 essai ; octets protégés : 31"},
             {0, {8, 9, 30, 31}, "sécurité : aucun essai ; octets protégés : 8–9, 30–31"},
         }) {
        const std::string path = card("c" + std::to_string(c.counter) + ".card", [&](auto& chip) {
            chip.setErrorCounter(c.counter);
            for (int address : c.protectedBytes)
                chip.setProtectionBit(address, false);
        });
        const CliRun run = OstrelCard({"--reader", "sim:" + path, "dump", "--security"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 18);
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
                  std::string(c.line) + "\n");
        reader::Sle4442Chip after;
        ASSERT_TRUE(reader::LoadCardFile(path, after).ok);
        EXPECT_EQ(after.errorCounter(), c.counter);
    }
}
