#include "base/beside_task.h"
#include "base/waiting.h"

#include <gtest/gtest.h>
#include <thread>

using namespace ostrel::base;

namespace {

// Waits for a thing nobody lets go, until its own operation is called off.
std::function<void()> WaitFor(Waiting& waiting, const std::string& what) {
    return [&waiting, what] {
        Patience patience(&waiting, what);
        while (patience.Pause()) {
        }
    };
}

void UntilShown(const Waiting& waiting, const std::string& what) {
    while (waiting.what() != what)
        std::this_thread::yield();
}

} // namespace

// Two operations wait at once on one program's Waiting: each has its own call-off and its own
// status line; calling one off, or its wait ending, leaves the other waiting and shown.
TEST(Waiting, EachOperationIsCalledOffAndShownOnItsOwn) {
    Waiting waiting(std::chrono::minutes(10));
    BesideTask journalRead(&waiting);
    BesideTask format(&waiting);
    format.Start(WaitFor(waiting, "journal occupé, attente…"), {});
    UntilShown(waiting, "journal occupé, attente…");
    journalRead.Start(WaitFor(waiting, "serveur occupé, attente…"), {});
    UntilShown(waiting, "serveur occupé, attente…");

    journalRead.CallOff(); // returns once its wait ended
    EXPECT_FALSE(journalRead.pending());
    EXPECT_TRUE(format.pending());
    EXPECT_FALSE(format.EndsWithin(std::chrono::milliseconds(50)));
    EXPECT_EQ(waiting.what(), "journal occupé, attente…");

    // A call-off is the operation's own: the next one started on the same task waits again.
    journalRead.Start(WaitFor(waiting, "serveur occupé, attente…"), {});
    UntilShown(waiting, "serveur occupé, attente…");
    format.CallOff();
    EXPECT_EQ(waiting.what(), "serveur occupé, attente…");
    journalRead.CallOff();
    EXPECT_EQ(waiting.what(), "");
}
