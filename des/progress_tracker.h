#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace ostrel::des {

// Raises a percentage after the block at an offset that reaches the next threshold, then 100 once
// at the end, so a caller sees at most about a hundred non-decreasing values ending with 100.
class ProgressTracker {
public:
    ProgressTracker(const std::function<void(std::int32_t)>& handler, std::size_t length)
        : handler_(handler), length_(length) {}

    void afterBlock(std::size_t offset) {
        if (offset < threshold_ || !handler_) {
            return;
        }
        // Offsets below 2^57 keep these products within 64 bits.
        last_ = static_cast<std::int32_t>(std::uint64_t{offset} * 100 / length_);
        handler_(last_);
        threshold_ = static_cast<std::size_t>((std::uint64_t(last_) + 1) * length_ / 100 + 1);
    }

    void finish() {
        if (handler_ && last_ != 100) {
            last_ = 100;
            handler_(100);
        }
    }

private:
    const std::function<void(std::int32_t)>& handler_;
    std::size_t length_;
    std::size_t threshold_ = 0;
    std::int32_t last_ = -1;
};

} // namespace ostrel::des
