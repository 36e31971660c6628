#include "pcscd_control.h"
#include "vpcd_support.h"

#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/shared_state.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace ostrel::reader;
using namespace vpcd_support;
namespace fs = std::filesystem;

namespace {

bool WaitUntil(const std::function<bool()>& condition) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

struct PcscdRestart : ::testing::TestWithParam<Dialect> {};

TEST_P(PcscdRestart, ReaderFailsWhileTheServiceIsDownAndWorksAfterReopening) {
    if (const std::string why = VpcdUnavailable(); !why.empty())
        GTEST_SKIP() << why;
    const pid_t pcscd = pcscd_control::RunningPcscd();
    if (pcscd < 0)
        GTEST_SKIP() << "needs the pcscd started by scripts/pcscd.sh (OSTREL_PCSCD_PIDFILE)";

    const fs::path file =
        fs::temp_directory_path() / ("ostrel-restart-" + std::to_string(::getpid()) + ".card");
    fs::copy_file(fs::path(OSTREL_DEMO_DECK_DIR) / "formatted-serial-1000000.card", file,
                  fs::copy_options::overwrite_existing);
    std::string error;
    ServedCard served(VirtualCard::FromFile(file.string(), error), GetParam());
    pcsc::PcscReader reader(kVpcdReader);
    SharedState state(reader);
    state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny);
    ASSERT_TRUE(ReaderEmptied());
    ASSERT_GE(state.ReaderHandle, 0);
    ASSERT_TRUE(served.insert());
    ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, true));
    ASSERT_TRUE(StartCardSession(state));

    ASSERT_TRUE(pcscd_control::StopPcscd(pcscd));
    // Every call fails, none hangs: the test would time out.
    CommandRecord read;
    read.ins = kInsReadMemory;
    read.le = 16;
    EXPECT_LT(reader.ExchangeAPDU(state.ReaderHandle, read), 0);
    InfoRecord info;
    EXPECT_LT(reader.GetInfo(state.ReaderHandle, info), 0);
    reader.EndSession(state.ReaderHandle);
    reader.Close(state.ReaderHandle);
    EXPECT_LT(reader.Open(kReaderTypeAny, kReaderPortAny), 0);
    EXPECT_TRUE(WaitUntil([&] { return served.droppedByReader(); }));

    ASSERT_GT(pcscd_control::StartPcscd(), 0);
    state.ReaderHandle = -1;
    ASSERT_TRUE(WaitUntil(
        [&] { return (state.ReaderHandle = reader.Open(kReaderTypeAny, kReaderPortAny)) >= 0; }));
    ASSERT_TRUE(served.insert());
    ASSERT_TRUE(WaitForCard(reader, state.ReaderHandle, true));
    EXPECT_GE(IdentifyCard(state), 0);
    EXPECT_EQ(state.InfoMessage, "carte valide");
    EXPECT_EQ(reader.dialect(), GetParam());
    EndCardSession(state);
    reader.Close(state.ReaderHandle);
    served.remove();
    EXPECT_TRUE(ReaderEmptied());
    fs::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Dialects, PcscdRestart, kEveryDialect, DialectName);

} // namespace
