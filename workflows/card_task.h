#pragma once

#include "base/beside_task.h"
#include "base/waiting.h"

#include <coroutine>
#include <exception>
#include <functional>
#include <utility>

namespace ostrel::workflows {

// A card operation written as one sequence that may stop at the points where it takes what
// another program may hold (co_await steps.Beside(...)); it then goes on where it stopped, on
// the window's thread, once that is taken or refused. Started lazily: an operation awaited by
// another runs when awaited, and resumes its caller when it ends.
class CardTask {
public:
    struct promise_type {
        std::coroutine_handle<> continuation = std::noop_coroutine();

        CardTask get_return_object() {
            return CardTask(std::coroutine_handle<promise_type>::from_promise(*this));
        }
        std::suspend_always initial_suspend() noexcept { return {}; }
        auto final_suspend() noexcept {
            struct ResumeCaller {
                bool await_ready() noexcept { return false; }
                std::coroutine_handle<>
                await_suspend(std::coroutine_handle<promise_type> ending) noexcept {
                    return ending.promise().continuation;
                }
                void await_resume() noexcept {}
            };
            return ResumeCaller{};
        }
        void return_void() {}
        void unhandled_exception() { std::terminate(); }
    };

    CardTask() = default;
    CardTask(CardTask&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    CardTask& operator=(CardTask&& other) noexcept {
        if (this != &other) {
            Destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    ~CardTask() { Destroy(); }

    // Awaited by another operation: runs it, and resumes the caller when it ends.
    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept {
        handle_.promise().continuation = caller;
        return handle_;
    }
    void await_resume() const noexcept {}

    // Runs the outermost operation until it ends or stops at its first wait.
    void Start() {
        if (handle_ && !handle_.done())
            handle_.resume();
    }
    bool done() const { return !handle_ || handle_.done(); }

private:
    explicit CardTask(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
    void Destroy() {
        if (handle_)
            handle_.destroy();
        handle_ = {};
    }

    std::coroutine_handle<promise_type> handle_;
};

// Where a workflow's operation runs its acquisitions: inline, on the calling thread (the
// command line, which has nothing else to answer), or beside it (a window), the window polling
// until the operation goes on.
class BesideSteps {
public:
    // waiting: what the acquisitions wait within, called off by Cancel(); may be null.
    BesideSteps(bool beside, base::Waiting* waiting) : beside_(beside), task_(waiting) {}
    // The task joins a running acquisition before the operation it belongs to goes.
    ~BesideSteps() { Cancel(); }
    BesideSteps(const BesideSteps&) = delete;
    BesideSteps& operator=(const BesideSteps&) = delete;

    // co_await steps.Beside(acquire): acquire may block (within its own limit); it must touch
    // only the store, the journal and the operation's locals.
    auto Beside(std::function<void()> acquire) {
        struct Awaiter {
            BesideSteps& steps;
            std::function<void()> acquire;
            bool await_ready() {
                if (steps.beside_)
                    return false;
                acquire();
                return true;
            }
            void await_suspend(std::coroutine_handle<> operation) {
                steps.task_.Start(std::move(acquire), [operation] { operation.resume(); });
            }
            void await_resume() const noexcept {}
        };
        return Awaiter{*this, std::move(acquire)};
    }

    // Starts an operation; an earlier one still waiting is called off first.
    void Run(CardTask operation) {
        Cancel();
        running_ = std::move(operation);
        running_.Start();
    }
    // The operation has not ended: it waits for an acquisition, or for Poll().
    bool pending() const { return !running_.done(); }
    // On the window's thread: goes on with the operation once its acquisition has ended, after
    // waiting at most grace for it. True when it went on.
    bool Poll(std::chrono::milliseconds grace = {}) {
        if (grace.count() > 0 && task_.pending())
            task_.EndsWithin(grace);
        return task_.Poll();
    }
    // The acquisition's waits are called off and the operation is dropped where it stands.
    void Cancel() {
        if (running_.done())
            return;
        task_.CallOff();
        running_ = CardTask();
    }
    // Told on the acquisition's thread when it ends.
    void setOnEnded(std::function<void()> told) { task_.onEnded = std::move(told); }

private:
    bool beside_;
    CardTask running_; // declared before the task: the task joins before the operation goes
    base::BesideTask task_;
};

} // namespace ostrel::workflows
