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
    return lines_.empty() ? std::string() : lines_.back().second;
}

std::uint64_t Waiting::Say(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(nextLine_, what);
    return nextLine_++;
}

void Waiting::Unsay(std::uint64_t line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(lines_, [line](const auto& shown) { return shown.first == line; });
}

bool Waiting::calledOff() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = stops_.find(std::this_thread::get_id());
    return found != stops_.end() && found->second.stop_requested();
}

Waiting::Watch::Watch(Waiting* waiting, std::stop_token stop) : waiting_(waiting) {
    if (!waiting_)
        return;
    std::lock_guard<std::mutex> lock(waiting_->mutex_);
    waiting_->stops_.insert_or_assign(std::this_thread::get_id(), std::move(stop));
}

Waiting::Watch::~Watch() {
    if (!waiting_)
        return;
    std::lock_guard<std::mutex> lock(waiting_->mutex_);
    waiting_->stops_.erase(std::this_thread::get_id());
}

Patience::Patience(Waiting* waiting, std::string what)
    : waiting_(waiting), what_(std::move(what)), start_(std::chrono::steady_clock::now()),
      limit_(waiting ? waiting->limit() : std::chrono::milliseconds(kDefaultWaitLimit)) {}

Patience::~Patience() {
    if (line_)
        waiting_->Unsay(line_);
}

bool Patience::Still() {
    if (calledOff() || std::chrono::steady_clock::now() - start_ >= limit_)
        return false;
    if (waiting_ && !line_ && !what_.empty())
        line_ = waiting_->Say(what_);
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
