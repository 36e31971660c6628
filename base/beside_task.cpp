#include "beside_task.h"

#include "waiting.h"

#include <utility>

namespace ostrel::base {

BesideTask::~BesideTask() {
    Drop();
}

void BesideTask::Start(std::function<void()> acquire, std::function<void()> then) {
    Drop(); // one at a time: a caller that did not wait loses the earlier continuation
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = false;
    }
    then_ = std::move(then);
    if (stop_.stop_requested())
        stop_ = std::stop_source();
    thread_ = std::thread([this, acquire = std::move(acquire), stop = stop_.get_token()] {
        {
            const Waiting::Watch watch(waiting_, stop);
            acquire();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
        }
        endedSignal_.notify_all();
        if (onEnded)
            onEnded();
    });
}

bool BesideTask::EndsWithin(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return endedSignal_.wait_for(lock, limit, [this] { return ended_; });
}

bool BesideTask::Poll() {
    if (!thread_.joinable())
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!ended_)
            return false;
    }
    JoinAndContinue();
    return true;
}

void BesideTask::Finish() {
    while (thread_.joinable())
        JoinAndContinue();
}

void BesideTask::JoinAndContinue() {
    thread_.join();
    // The continuation may start the next acquisition: it is moved out first.
    std::function<void()> then = std::move(then_);
    then_ = nullptr;
    if (then)
        then();
}

void BesideTask::Drop() {
    if (thread_.joinable())
        thread_.join();
    then_ = nullptr;
}

void BesideTask::CallOff() {
    if (thread_.joinable())
        stop_.request_stop();
    Drop();
}

} // namespace ostrel::base
