#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::base {

inline constexpr std::chrono::seconds kDefaultWaitLimit{30};

// How long a program waits for what another program holds (the configuration's lock, the
// journal, a server), and what it is waiting for now. One per program, shared by the threads
// that wait and the one that shows it: the window reads what() into its status line. What is
// shared is only the limit and that line: each operation that waits has its own call-off (a
// stop token registered for the thread it waits on, see Watch), so that calling one off never
// ends another's wait. The limit changes while the program runs ("Réglages"): a wait already
// begun keeps the one it began with.
class Waiting {
public:
    explicit Waiting(std::chrono::milliseconds limit = kDefaultWaitLimit) : limit_(limit) {}
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

    std::chrono::milliseconds limit() const { return limit_.load(); }
    void setLimit(std::chrono::milliseconds limit) { limit_.store(limit); }

    // "journal occupé, attente…" while a wait is on (the latest begun of those still on),
    // empty otherwise.
    std::string what() const;

    // While it lives, the waits on the constructing thread end, refused, at their next pause
    // once stop is requested.
    class Watch {
    public:
        Watch(Waiting* waiting, std::stop_token stop);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        Waiting* waiting_;
    };

    // Whether the operation waiting on the calling thread was called off.
    bool calledOff() const;

private:
    friend class Patience;
    // Shows a line until Unsay with the number returned.
    std::uint64_t Say(const std::string& what);
    void Unsay(std::uint64_t line);

    std::atomic<std::chrono::milliseconds> limit_;
    mutable std::mutex mutex_;
    std::vector<std::pair<std::uint64_t, std::string>> lines_; // oldest first
    std::uint64_t nextLine_ = 1;
    std::map<std::thread::id, std::stop_token> stops_;
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
    std::uint64_t line_ = 0; // shown while nonzero
};

} // namespace ostrel::base
