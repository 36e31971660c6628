#include "vpcd_support.h"

#include "../cli_run.h"
#include "../trace_lines.h"
#include "reader/pcsc/pcsc_reader.h"
#include "reader/virtual_card_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace ostrel;
using namespace vpcd_support;
namespace fs = std::filesystem;

namespace {

// The trace and the security state over pcscd and the vpcd reader, in each dialect the virtual
// card emulates.
struct TraceInDialect : ::testing::TestWithParam<Dialect> {
    fs::path dir;
    void SetUp() override {
        if (const std::string why = VpcdUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        dir = TestFolder("ostrel-pcsc-trace");
        ASSERT_TRUE(ReaderEmptied());
    }
    void TearDown() override {
        if (dir.empty())
            return; // skipped
        EXPECT_TRUE(ReaderEmptied());
        fs::remove_all(dir);
    }
    std::string dialectName() const {
        return std::string(reader::dialect::TableOf(GetParam()).name);
    }
    // A demo card, changed as a test needs, copied to the test's folder.
    std::string card(const std::string& demo, const std::string& name,
                     const std::function<void(reader::Sle4442Chip&)>& change = {}) {
        const std::string path = (dir / name).string();
        fs::copy_file(fs::path(OSTREL_DEMO_DECK_DIR) / demo, path);
        if (change) {
            reader::Sle4442Chip chip;
            EXPECT_TRUE(reader::LoadCardFile(path, chip).ok);
            change(chip);
            EXPECT_TRUE(reader::SaveCardFile(path, chip).ok);
        }
        return path;
    }
    static bool CardShown(bool present) {
        reader::pcsc::PcscReader reader(kVpcdReader);
        const std::int32_t handle = reader.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
        return handle >= 0 && WaitForCard(reader, handle, present);
    }
    // Runs ostrel-card on the PC/SC reader with the card file served in the vpcd reader.
    CliRun served(const std::string& file, const std::vector<std::string>& args) {
        std::string error;
        ServedCard card(reader::VirtualCard::FromFile(file, error), GetParam());
        EXPECT_TRUE(card.insert());
        EXPECT_TRUE(CardShown(true));
        std::vector<std::string> all{"--reader", std::string("pcsc:") + kVpcdReader};
        all.insert(all.end(), args.begin(), args.end());
        CliRun run = OstrelCard(all);
        card.remove();
        EXPECT_TRUE(CardShown(false));
        return run;
    }
};

// What the reader is asked and answers for one identification, the dialect found by its probes.
TEST_P(TraceInDialect, AnIdentificationTracesAsExpected) {
    const std::string trace = (dir / "identify.trace").string();
    const CliRun run =
        served(card("formatted-serial-1000000.card", "f.card"), {"--trace=" + trace, "identify"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::ifstream in(trace);
    ExpectTrace({std::istreambuf_iterator<char>(in), {}},
                fs::path(OSTREL_TRACES_DIR) / ("pcsc_" + dialectName() + "_identify.trace"));
}

// Read without a code: the counter is the same afterwards. Only memcard readers can read it.
TEST_P(TraceInDialect, DumpSecurityTellsWhatTheReaderCanRead) {
    struct Case {
        std::uint8_t counter;
        std::vector<int> protectedBytes;
        const char* memcard;
    };
    const Case cases[] = {
        {7, {}, "3 essais ; octets protégés : aucun"},
        {3, {0, 1, 2, 3, 25}, "2 essais ; octets protégés : 0–3, 25"},
        {1, {}, "1 essai ; octets protégés : aucun"},
        {0, {31}, "aucun essai ; octets protégés : 31"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.counter));
        const std::string path =
            card("blank-supplier-04.card", "c" + std::to_string(c.counter) + ".card",
                 [&](reader::Sle4442Chip& chip) {
                     chip.setErrorCounter(c.counter);
                     for (int address : c.protectedBytes)
                         chip.setProtectionBit(address, false);
                 });
        const CliRun run = served(path, {"dump", "--security"});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string expected = GetParam() == Dialect::Memcard
                                         ? c.memcard
                                         : "essais : inconnu ; octets protégés : inconnu";
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
                  "sécurité : " + expected + "\n");
        reader::Sle4442Chip after;
        ASSERT_TRUE(reader::LoadCardFile(path, after).ok);
        EXPECT_EQ(after.errorCounter(), c.counter);
    }
}

INSTANTIATE_TEST_SUITE_P(Dialects, TraceInDialect, kEveryDialect, DialectName);

} // namespace
