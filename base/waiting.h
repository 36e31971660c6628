#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

namespace ostrel::base {

inline constexpr std::chrono::seconds kDefaultWaitLimit{30};

// How long a program waits for what another program holds (the configuration's lock, the
// journal, a server), and what it is waiting for now. One per program, shared by the thread
// that waits and the one that shows it: the window reads what() into its status line, and may
// call the wait off.
class Waiting {
public:
    explicit Waiting(std::chrono::milliseconds limit = kDefaultWaitLimit) : limit_(limit) {}
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

    std::chrono::milliseconds limit() const { return limit_; }

    // "journal occupé, attente…" while a wait is on, empty otherwise.
    std::string what() const;

    // Every wait ends at its next pause, refused, until Resume().
    void CallOff() { off_ = true; }
    void Resume() { off_ = false; }
    bool calledOff() const { return off_; }

private:
    friend class Patience;
    void Say(const std::string& what);

    const std::chrono::milliseconds limit_;
    mutable std::mutex mutex_;
    std::string what_;
    std::atomic<bool> off_{false};
};

// One wait for one thing, begun when constructed: the loop that tries to take the thing calls
// Pause() after each try that found it held.
class Patience {
public:
    // waiting null: the default limit, and nobody is told; what empty: nobody is told either.
    Patience(Waiting* waiting, std::string what);
    ~Patience();
    Patience(const Patience&) = delete;
    Patience& operator=(const Patience&) = delete;

    // Says what is waited for, then sleeps a short while. False, at once, once the limit is
    // reached or the wait was called off: the caller then gives up.
    bool Pause();
    // As Pause(), without sleeping: for a caller that waits on something of its own (a socket)
    // in short slices.
    bool Still();

    // Whole seconds waited so far, for messages.
    long waitedSeconds() const;
    bool calledOff() const { return waiting_ && waiting_->calledOff(); }

private:
    Waiting* waiting_;
    std::string what_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::milliseconds limit_;
    bool said_ = false;
};

} // namespace ostrel::base
