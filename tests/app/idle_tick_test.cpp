#include "app_test_cards.h"
#include "main_kestrix.h"
#include "reader/simulated_reader.h"
#include "reader_monitor.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Every allocation of this program is counted, so that a test can tell a tick allocated nothing.
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace ostrel;

namespace {

// A view that does nothing, so that only the monitor's own allocations count.
class SilentView : public app::MonitorView {
public:
    void setCaption(const std::string&) override { ++calls; }
    void showDump() override { ++calls; }
    void unloadDump() override { ++calls; }
    void showWelcome() override { ++calls; }
    workflows::CardEvents* formatWindow() override { return nullptr; }
    workflows::CardEvents* disposableWindow() override { return nullptr; }
    int calls = 0;
};

// Ticks n times; returns the allocations made meanwhile and checks one poll a tick.
long AllocationsOver(const std::function<void()>& tick, const reader::SimulatedReader& simulated,
                     int n) {
    const int polls = simulated.pollCount();
    const long before = allocations.load();
    for (int i = 0; i < n; ++i)
        tick();
    const long made = allocations.load() - before;
    EXPECT_EQ(simulated.pollCount() - polls, n);
    return made;
}

TEST(IdleTick, TheMonitorPollsOnceAndAllocatesNothingWhenNothingChanges) {
    reader::SimulatedReader simulated;
    reader::SharedState state(simulated);
    SilentView view;
    app::ReaderMonitor monitor(state, view);
    monitor.tick();
    ASSERT_EQ(state.ReaderState, reader::kReaderEmpty);
    const int calls = view.calls;
    EXPECT_EQ(AllocationsOver([&] { monitor.tick(); }, simulated, 1000), 0);
    EXPECT_EQ(view.calls, calls);

    simulated.insertCard(TestFormattedCard());
    monitor.tick();
    ASSERT_EQ(state.ReaderState, reader::kReaderCardInside);
    EXPECT_EQ(AllocationsOver([&] { monitor.tick(); }, simulated, 1000), 0);
}

TEST(IdleTick, TheMainWindowsTickAllocatesNothingWhenNothingChanges) {
    reader::SimulatedReader simulated;
    reader::SharedState state(simulated);
    app::MainKestrix window(state, app::MakeWorkflowFactories({}));
    window.findChild<QTimer*>("tmrReader")->stop();
    // A status text too long for any small-string buffer: building it would allocate.
    window.setReaderStatusSource(
        [] { return std::string("Lecteur PC/SC « Virtual PCD 00 00 », jeu de commandes iso"); });
    window.show();
    window.tickReader();
    ASSERT_EQ(state.ReaderState, reader::kReaderEmpty);
    EXPECT_EQ(AllocationsOver([&] { window.tickReader(); }, simulated, 1000), 0);
}

TEST(IdleTick, TheCountingSeesAnAllocation) {
    const long before = allocations.load();
    auto* p = new int(1);
    EXPECT_EQ(allocations.load() - before, 1);
    delete p;
}

} // namespace
