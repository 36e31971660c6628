#include "waiting.h"

#include <algorithm>
#include <thread>

namespace ostrel::base {

namespace {

// Short enough that a freed lock is taken at once, long enough to cost nothing while waiting.
constexpr std::chrono::milliseconds kPause{20};

} // namespace

std::string Waiting::what() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return what_;
}

void Waiting::Say(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    what_ = what;
}

Patience::Patience(Waiting* waiting, std::string what)
    : waiting_(waiting), what_(std::move(what)), start_(std::chrono::steady_clock::now()),
      limit_(waiting ? waiting->limit() : std::chrono::milliseconds(kDefaultWaitLimit)) {}

Patience::~Patience() {
    if (said_)
        waiting_->Say({});
}

bool Patience::Still() {
    if (calledOff() || std::chrono::steady_clock::now() - start_ >= limit_)
        return false;
    if (waiting_ && !said_ && !what_.empty()) {
        waiting_->Say(what_);
        said_ = true;
    }
    return true;
}

bool Patience::Pause() {
    if (!Still())
        return false;
    const auto waited = std::chrono::steady_clock::now() - start_;
    if (waited < limit_)
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kPause, limit_ - waited));
    return !calledOff();
}

long Patience::waitedSeconds() const {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_)
            .count());
}

} // namespace ostrel::base
