#include "app_test_cards.h"
#include "card/classification.h"
#include "fake_monitor_view.h"
#include "reader/identification.h"
#include "reader/simulated_reader.h"
#include "reader/switchable_reader.h"
#include "reader/tracing_reader.h"
#include "reader_monitor.h"
#include "window_title.h"

#include <gtest/gtest.h>

#include "../trace_lines.h"

using namespace ostrel;
using reader::kReaderAbsent;
using reader::kReaderCardInside;
using reader::kReaderEmpty;

namespace {

const std::string kNoReader = std::string(app::kWindowTitle) + app::kSuffixNoReader;
const std::string kNoCard = std::string(app::kWindowTitle) + app::kSuffixNoCard;
const std::string kCardInside = std::string(app::kWindowTitle) + app::kSuffixCardInside;

class ReaderMonitorTest : public ::testing::Test {
protected:
    reader::SimulatedReader reader;
    reader::SharedState state{reader};
    FakeMonitorView view{state};
    app::ReaderMonitor monitor{state, view};

    void tickTimes(int n) {
        for (int i = 0; i < n; ++i)
            monitor.tick();
    }
};

TEST_F(ReaderMonitorTest, CaptionsAreTheTitleFollowedByOneSuffix) {
    EXPECT_EQ(kNoReader, "Ostrel Chipcard Administration V1.1 [Non connecté!]");
    EXPECT_EQ(kNoCard,
              "Ostrel Chipcard Administration V1.1 [Connecté, pas de carte à l'intérieur]");
    EXPECT_EQ(kCardInside, "Ostrel Chipcard Administration V1.1 [Carte à l'intérieur]");
}

TEST_F(ReaderMonitorTest, StartWithoutReaderEndsTheTickInTheOpenPhase) {
    reader.unplug();
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderAbsent);
    EXPECT_LT(state.ReaderHandle, 0);
    EXPECT_EQ(view.captions, std::vector<std::string>{kNoReader});
    EXPECT_EQ(view.welcomeShows, 1);
    EXPECT_EQ(reader.pollCount(), 0);
}

TEST_F(ReaderMonitorTest, WhileNoReaderAnswersEveryTickReopensPollsAndRewritesTheCaption) {
    reader.unplug();
    tickTimes(4);
    EXPECT_EQ(state.ReaderState, kReaderAbsent);
    EXPECT_EQ(view.welcomeShows, 4);
    EXPECT_EQ(reader.pollCount(), 3); // the first tick ends before the poll
    EXPECT_EQ(view.captions, std::vector<std::string>(4, kNoReader));
}

TEST_F(ReaderMonitorTest, PluggingTheReaderInOpensItOnTheNextTick) {
    reader.unplug();
    tickTimes(2);
    reader.plug();
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderEmpty);
    EXPECT_GE(state.ReaderHandle, 0);
    EXPECT_EQ(view.lastCaption(), kNoCard);
    EXPECT_EQ(reader.pollCount(), 2);
}

TEST_F(ReaderMonitorTest, AReaderFoundEmptyGivesNoRemovalDispatch) {
    state.FormatActive = true;
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderEmpty);
    EXPECT_EQ(view.captions, std::vector<std::string>{kNoCard});
    EXPECT_EQ(reader.pollCount(), 1);
    EXPECT_EQ(view.format.removed, 0);
}

TEST_F(ReaderMonitorTest, ACardInsideAtStartIsIdentifiedOnTheFirstTick) {
    reader.insertCard(TestFormattedCard(1000000, 9));
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderCardInside);
    EXPECT_EQ(view.captions, (std::vector<std::string>{kNoCard, kCardInside}));
    ASSERT_EQ(view.dumpLoads, 1);
    EXPECT_EQ(view.dumpImage, reader.card()->chip().memory());
    EXPECT_EQ(view.dumpInfo, card::kTextValid);
    // Read without spending an attempt, and shown for as long as the dump shows the card.
    EXPECT_EQ(view.cardSecurity, "3 essais ; octets protégés : aucun");
    EXPECT_EQ(reader.card()->chip().errorCounter(), 7);
    // The monitor ended the session the identification left open.
    EXPECT_EQ(reader.EndSession(state.ReaderHandle), reader::kErrNoSession);
    reader.removeCard();
    monitor.tick();
    EXPECT_EQ(view.cardSecurity, "");
}

TEST_F(ReaderMonitorTest, ACardLeftInTheReaderIsDispatchedOnce) {
    monitor.tick();
    reader.insertCard(TestFormattedCard());
    tickTimes(25);
    EXPECT_EQ(view.dumpLoads, 1);
    EXPECT_EQ(view.captions, (std::vector<std::string>{kNoCard, kCardInside}));

    state.FormatActive = true;
    reader.removeCard();
    monitor.tick();
    reader.insertCard(TestFormattedCard());
    tickTimes(25);
    EXPECT_EQ(view.format.inserted, 1);
    EXPECT_EQ(view.dumpLoads, 1);
}

TEST_F(ReaderMonitorTest, InsertionWithTheFormattingWindowOpenOnlyCallsItsCardInserted) {
    state.FormatActive = true;
    state.DisposableActive = true; // formatting wins
    monitor.tick();
    reader.insertCard(TestBlankCard());
    reader.resetExchangeCount();
    monitor.tick();
    EXPECT_EQ(view.format.inserted, 1);
    EXPECT_EQ(view.disposable.inserted, 0);
    EXPECT_EQ(reader.exchangeCount(), 0); // no identification
    EXPECT_EQ(view.dumpLoads, 0);
    EXPECT_EQ(state.ReaderState, kReaderCardInside);
}

TEST_F(ReaderMonitorTest, InsertionAndRemovalWithTheDisposableWindowOpenGoToIt) {
    state.DisposableActive = true;
    monitor.tick();
    reader.insertCard(TestBlankCard());
    monitor.tick();
    reader.removeCard();
    monitor.tick();
    EXPECT_EQ(view.disposable.inserted, 1);
    EXPECT_EQ(view.disposable.removed, 1);
    EXPECT_EQ(view.format.inserted + view.format.removed, 0);
    EXPECT_EQ(view.dumpLoads, 0);
}

TEST_F(ReaderMonitorTest, RemovalWithNoWorkflowOpenClosesTheDumpAndNothingElse) {
    reader.insertCard(TestBlankCard());
    monitor.tick();
    ASSERT_TRUE(view.dumpLoaded);
    EXPECT_EQ(view.dumpInfo, card::kTextNotFormatted);
    reader.removeCard();
    const int welcomes = view.welcomeShows;
    monitor.tick();
    EXPECT_FALSE(view.dumpLoaded);
    EXPECT_EQ(state.ReaderState, kReaderEmpty);
    EXPECT_EQ(view.lastCaption(), kNoCard);
    EXPECT_EQ(view.welcomeShows, welcomes);
    EXPECT_EQ(view.format.removed + view.disposable.removed, 0);
}

TEST_F(ReaderMonitorTest, TicksThatSeeNoChangeTouchNothing) {
    for (const bool withCard : {false, true}) {
        if (withCard)
            reader.insertCard(TestBlankCard());
        monitor.tick();
        const auto captions = view.captions.size();
        const int loads = view.dumpLoads;
        const int welcomes = view.welcomeShows;
        const int polls = reader.pollCount();
        reader.resetExchangeCount();
        tickTimes(10);
        EXPECT_EQ(view.captions.size(), captions) << withCard;
        EXPECT_EQ(view.dumpLoads, loads);
        EXPECT_EQ(view.welcomeShows, welcomes);
        EXPECT_EQ(reader.pollCount(), polls + 10);
        EXPECT_EQ(reader.exchangeCount(), 0);
    }
}

TEST_F(ReaderMonitorTest, AFailingPollForgetsTheReaderAndTellsTheWorkflowTheCardIsGone) {
    state.FormatActive = true;
    reader.insertCard(TestBlankCard());
    monitor.tick();
    ASSERT_EQ(view.format.inserted, 1);
    reader.setPollFails(true);
    monitor.tick();
    EXPECT_EQ(view.lastCaption(), kNoReader);
    EXPECT_EQ(state.ReaderState, kReaderAbsent);
    EXPECT_LT(state.ReaderHandle, 0);
    EXPECT_EQ(view.format.removed, 1);

    // Back again: the open phase runs and the card still inside is a new insertion.
    reader.setPollFails(false);
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderCardInside);
    EXPECT_EQ(view.format.inserted, 2);
}

TEST_F(ReaderMonitorTest, AFailingPollWithoutCardTellsNobody) {
    state.DisposableActive = true;
    monitor.tick();
    reader.setPollFails(true);
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderAbsent);
    EXPECT_EQ(view.disposable.removed, 0);
}

TEST_F(ReaderMonitorTest, TheReaderLostAndFoundWithTheCardSwappedShowsTheNewCard) {
    reader.insertCard(TestFormattedCard(1000000));
    monitor.tick();
    ASSERT_EQ(view.dumpInfo, card::kTextValid);

    reader.unplug();
    monitor.tick();
    EXPECT_FALSE(view.dumpLoaded); // the old card's bytes are not left on screen
    EXPECT_EQ(view.lastCaption(), kNoReader);
    reader.removeCard();
    reader.insertCard(TestBlankCard(0x35));
    monitor.tick(); // still unplugged
    reader.plug();
    monitor.tick();

    EXPECT_EQ(state.ReaderState, kReaderCardInside);
    EXPECT_EQ(view.dumpLoads, 2);
    EXPECT_TRUE(view.dumpLoaded);
    EXPECT_EQ(view.dumpImage, reader.card()->chip().memory());
    EXPECT_EQ(view.dumpInfo, card::kTextNotFormatted);
}

TEST_F(ReaderMonitorTest, ACardThatDoesNotAnswerIsShownAllFfWithItsVerdict) {
    auto card = TestBlankCard();
    card->chip().memory()[0] = 0x3B;
    reader.insertCard(card);
    monitor.tick();
    EXPECT_EQ(view.dumpImage, card::FilledMemory(0xFF));
    EXPECT_EQ(view.dumpInfo, reader::kTextUnknownCard);
}

TEST_F(ReaderMonitorTest, ATickLetThroughByAWorkflowWindowDoesNotOverlapTheRunningOne) {
    state.FormatActive = true;
    monitor.tick();
    reader.insertCard(TestBlankCard());
    // The window's handling runs a nested event loop, during which the card comes out.
    view.format.onInserted = [&] {
        reader.removeCard();
        monitor.tick();
    };
    monitor.tick();
    EXPECT_EQ(view.format.removed, 0);
    EXPECT_EQ(state.ReaderState, kReaderCardInside);
    view.format.onInserted = nullptr;
    monitor.tick();
    EXPECT_EQ(view.format.removed, 1);
}

TEST_F(ReaderMonitorTest, ClosingTheReaderAtTheEnd) {
    monitor.tick();
    ASSERT_GE(state.ReaderHandle, 0);
    const std::int32_t handle = state.ReaderHandle;
    monitor.closeReader();
    EXPECT_LT(state.ReaderHandle, 0);
    reader::InfoRecord info;
    EXPECT_LT(reader.GetInfo(handle, info), 0);
}

} // namespace

namespace {
struct LinesSink : reader::TraceSink {
    explicit LinesSink(std::string& text) : text(text) {}
    void line(std::string_view line) override { (text += line) += '\n'; }
    std::string& text;
};
} // namespace

TEST(DesktopTrace, TheMonitorsRepeatedCallsAreCountedNotWritten) {
    std::string trace;
    auto owned = std::make_unique<reader::SimulatedReader>();
    reader::SimulatedReader& simulated = *owned;
    reader::TracingReader traced(std::move(owned), std::make_unique<LinesSink>(trace),
                                 {.showCodes = false, .quietPolls = true});
    reader::SharedState state(traced);
    FakeMonitorView view(state);
    app::ReaderMonitor monitor(state, view);
    simulated.unplug();
    for (int i = 0; i < 4; ++i)
        monitor.tick();
    simulated.plug();
    for (int i = 0; i < 5; ++i)
        monitor.tick();
    EXPECT_EQ(TraceLinesWithoutTimes(trace),
              (std::vector<std::string>{
                  "Close(0) -> -100",
                  "Open(255, 15) -> -100",
                  "GetInfo(-100) -> -100 (après 2 appels répétés sans changement)",
                  "Open(255, 15) -> 1 (après 7 appels répétés sans changement)",
                  "GetInfo(1) -> 0 : pas de carte, lecteur « Lecteur simulé »",
              }));
    trace.clear();
    simulated.insertCard(TestFormattedCard());
    monitor.tick();
    const auto lines = TraceLinesWithoutTimes(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "GetInfo(1) -> 0 : carte présente, lecteur « Lecteur simulé » (après 4 "
                        "appels répétés sans changement)");
}

// "Réglages" replaces the reader: one that does not answer leaves the one in use as it was; one
// that answers closes it, the monitor sees the card go and then the new reader, and the trace
// set up at start goes on with what crosses below the new one.
TEST(ReplacedReader, TheMonitorSeesTheCardGoThenTheNewReaderAndTheOldOneIsClosed) {
    std::string trace;
    auto first = std::make_unique<reader::SimulatedReader>();
    reader::SimulatedReader& old = *first;
    old.insertCard(TestFormattedCard());
    auto owned = std::make_unique<reader::SwitchableReader>(std::move(first));
    reader::SwitchableReader& readers = *owned;
    reader::TracingReader traced(std::move(owned), std::make_unique<LinesSink>(trace), {});
    reader::SharedState state(traced);
    FakeMonitorView view(state);
    app::ReaderMonitor monitor(state, view);
    monitor.tick();
    ASSERT_TRUE(view.dumpLoaded);

    auto unplugged = std::make_unique<reader::SimulatedReader>();
    unplugged->unplug();
    EXPECT_EQ(readers.Replace(std::move(unplugged)), reader::kErrNoReader);
    EXPECT_FALSE(monitor.tick());
    EXPECT_TRUE(view.dumpLoaded);

    auto second = std::make_unique<reader::SimulatedReader>();
    reader::SimulatedReader& now = *second;
    now.insertCard(TestBlankCard());
    ASSERT_GE(readers.Replace(std::move(second)), 0);
    reader::InfoRecord info;
    EXPECT_LT(old.GetInfo(reader::SimulatedReader::kHandle, info), 0) << "old reader left open";
    trace.clear();
    monitor.tick();
    EXPECT_EQ(view.lastCaption(), kNoReader);
    EXPECT_FALSE(view.dumpLoaded);
    monitor.tick();
    EXPECT_EQ(state.ReaderState, kReaderCardInside);
    EXPECT_EQ(view.dumpImage, now.card()->chip().memory());
    EXPECT_NE(trace.find(" ms    puce mise sous tension -> "), std::string::npos) << trace;
}
