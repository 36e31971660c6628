#include "pcscd_control.h"
#include "vpcd_support.h"

#include "monitor_view.h"
#include "reader_monitor.h"
#include "window_title.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace ostrel;
using namespace vpcd_support;
namespace fs = std::filesystem;

namespace {

struct CountingWindow : workflows::CardEvents {
    int inserted = 0;
    int removed = 0;
    void CardInserted() override { ++inserted; }
    void CardRemoved() override { ++removed; }
};

// What the monitor shows, kept for the test to look at.
struct RecordingView : app::MonitorView {
    explicit RecordingView(const reader::SharedState& state) : state(state) {}
    void setCaption(const std::string& text) override { caption = text; }
    void showDump() override {
        ++dumpLoads;
        dumpLoaded = true;
        dumpInfo = state.InfoMessage;
        dumpImage = state.CardImage;
    }
    void unloadDump() override { dumpLoaded = false; }
    void showWelcome() override {}
    workflows::CardEvents* formatWindow() override { return &format; }
    workflows::CardEvents* disposableWindow() override { return &disposable; }

    const reader::SharedState& state;
    std::string caption;
    int dumpLoads = 0;
    bool dumpLoaded = false;
    std::string dumpInfo;
    card::CardMemory dumpImage{};
    CountingWindow format;
    CountingWindow disposable;
};

const std::string kCardInside = std::string(app::kWindowTitle) + app::kSuffixCardInside;
const std::string kNoCard = std::string(app::kWindowTitle) + app::kSuffixNoCard;
const std::string kNoReader = std::string(app::kWindowTitle) + app::kSuffixNoReader;

// The reader monitor over the PC/SC reader, ticked by the test as the timer would tick it.
struct MonitorOverPcsc : ::testing::TestWithParam<Dialect> {
    reader::pcsc::PcscReader reader{kVpcdReader};
    reader::SharedState state{reader};
    RecordingView view{state};
    app::ReaderMonitor monitor{state, view};
    fs::path file;
    std::unique_ptr<ServedCard> served;

    void SetUp() override {
        if (const std::string why = VpcdUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        file =
            fs::temp_directory_path() / ("ostrel-monitor-" + std::to_string(::getpid()) + ".card");
        fs::copy_file(fs::path(OSTREL_DEMO_DECK_DIR) / "formatted-serial-1000000.card", file,
                      fs::copy_options::overwrite_existing);
        std::string error;
        served = std::make_unique<ServedCard>(reader::VirtualCard::FromFile(file.string(), error),
                                              GetParam());
        ASSERT_TRUE(ReaderEmptied());
        monitor.tick();
        ASSERT_EQ(state.ReaderState, reader::kReaderEmpty);
    }
    void TearDown() override {
        monitor.closeReader();
        served.reset();
        if (file.empty())
            return; // skipped
        EXPECT_TRUE(ReaderEmptied());
        fs::remove(file);
    }

    // Ticks until the monitor reaches the state; pcscd notices a card within some hundred ms.
    bool TickUntil(std::int16_t wanted) {
        for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             std::chrono::steady_clock::now() < end;) {
            monitor.tick();
            if (state.ReaderState == wanted)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

TEST_P(MonitorOverPcsc, ACardInsertedIsIdentifiedOnceAndItsDumpClosesOnRemoval) {
    EXPECT_EQ(view.caption, kNoCard);
    ASSERT_TRUE(served->insert());
    ASSERT_TRUE(TickUntil(reader::kReaderCardInside));
    EXPECT_EQ(view.caption, kCardInside);
    EXPECT_EQ(view.dumpLoads, 1);
    EXPECT_EQ(view.dumpInfo, "carte valide");
    reader::Sle4442Chip chip;
    ASSERT_TRUE(reader::LoadCardFile(file.string(), chip).ok);
    EXPECT_EQ(view.dumpImage, chip.memory());
    for (int i = 0; i < 5; ++i)
        monitor.tick();
    EXPECT_EQ(view.dumpLoads, 1);

    served->remove();
    ASSERT_TRUE(TickUntil(reader::kReaderEmpty));
    EXPECT_EQ(view.caption, kNoCard);
    EXPECT_FALSE(view.dumpLoaded);
    EXPECT_EQ(view.format.removed + view.disposable.removed, 0);
}

TEST_P(MonitorOverPcsc, WithTheFormattingWindowOpenOnlyItHearsOfTheCard) {
    state.FormatActive = true;
    ASSERT_TRUE(served->insert());
    ASSERT_TRUE(TickUntil(reader::kReaderCardInside));
    served->remove();
    ASSERT_TRUE(TickUntil(reader::kReaderEmpty));
    EXPECT_EQ(view.format.inserted, 1);
    EXPECT_EQ(view.format.removed, 1);
    EXPECT_EQ(view.disposable.inserted, 0);
    EXPECT_EQ(view.dumpLoads, 0);
}

TEST_P(MonitorOverPcsc, ThePcscServiceStoppedAndStartedAgainIsFoundAgain) {
    const pid_t pcscd = pcscd_control::RunningPcscd();
    if (pcscd < 0)
        GTEST_SKIP() << "needs the pcscd started by scripts/pcscd.sh (OSTREL_PCSCD_PIDFILE)";
    ASSERT_TRUE(served->insert());
    ASSERT_TRUE(TickUntil(reader::kReaderCardInside));

    ASSERT_TRUE(pcscd_control::StopPcscd(pcscd));
    ASSERT_TRUE(TickUntil(reader::kReaderAbsent));
    EXPECT_EQ(view.caption, kNoReader);
    EXPECT_FALSE(view.dumpLoaded);
    monitor.tick(); // reopening fails while the service is down
    EXPECT_EQ(state.ReaderState, reader::kReaderAbsent);
    EXPECT_LT(state.ReaderHandle, 0);

    ASSERT_GT(pcscd_control::StartPcscd(), 0);
    ASSERT_TRUE(TickUntil(reader::kReaderEmpty));
    ASSERT_TRUE(served->insert());
    ASSERT_TRUE(TickUntil(reader::kReaderCardInside));
    EXPECT_EQ(view.dumpLoads, 2);
    EXPECT_EQ(view.dumpInfo, "carte valide");
}

INSTANTIATE_TEST_SUITE_P(Dialects, MonitorOverPcsc, kEveryDialect, DialectName);

} // namespace
