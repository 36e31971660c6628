#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace ostrel::base {

class Waiting;

// Runs a blocking acquisition (a lock, the journal, a server) on a thread of its own, so that
// the thread that starts it, the window's, keeps answering; what follows the acquisition runs
// back on the starting thread, when that thread polls, or when it is told the acquisition ended
// and polls then. One acquisition at a time. The acquisition must end by itself: give its waits
// a time limit (Patience), and call them off before destroying the task.
class BesideTask {
public:
    // waiting: the limit and status line of the acquisitions' waits, where CallOff() ends them;
    // may be null (then nothing calls them off).
    explicit BesideTask(Waiting* waiting = nullptr) : waiting_(waiting) {}
    // Waits for a running acquisition to end; its continuation is dropped.
    ~BesideTask();
    BesideTask(const BesideTask&) = delete;
    BesideTask& operator=(const BesideTask&) = delete;

    // Starts acquire on its own thread; then runs later, on the caller's thread, from Poll() or
    // Finish().
    void Start(std::function<void()> acquire, std::function<void()> then);

    // An acquisition runs, or its continuation waits for Poll().
    bool pending() const { return thread_.joinable(); }

    // On the starting thread: runs the continuation when the acquisition has ended. True when
    // it did.
    bool Poll();

    // Waits at most limit for the acquisition to end; true when it has (Poll() then goes on).
    // A window gives a quick acquisition this grace, so that nothing flickers.
    bool EndsWithin(std::chrono::milliseconds limit);

    // Waits for the acquisition, then runs its continuation, and so on until none is left.
    void Finish();

    // Waits for the acquisition and drops its continuation.
    void Drop();

    // Ends the running acquisition's waits (and only its own), waits for it, and drops its
    // continuation; the next Start() has a call-off of its own.
    void CallOff();

    // Called on the acquisition's thread as it ends, to tell the starting thread to poll (a
    // window posts itself an event). Set before Start().
    std::function<void()> onEnded;

private:
    void JoinAndContinue();

    Waiting* waiting_;
    std::stop_source stop_; // the running acquisition's call-off
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable endedSignal_;
    bool ended_ = false;
    std::function<void()> then_;
};

} // namespace ostrel::base
