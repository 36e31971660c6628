#pragma once

#include <cstddef>
#include <string>

namespace ostrel::des {

// The growable byte array that collects the hexadecimal conversions: 1,024 bytes at reset, grown
// by 1,024 when an append would pass the capacity.
class TextBuffer {
public:
    static constexpr std::size_t kStep = 1024;

    TextBuffer() { reset(); }

    void reset() {
        text_.clear();
        text_.shrink_to_fit();
        capacity_ = kStep;
        text_.reserve(capacity_);
    }

    void append(char c) {
        if (text_.size() + 1 > capacity_) {
            capacity_ += kStep;
            // std::string grows its storage geometrically, so appends stay linear.
            text_.reserve(capacity_);
        }
        text_.push_back(c);
    }

    std::size_t size() const { return text_.size(); }
    std::size_t capacity() const { return capacity_; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::size_t capacity_ = kStep;
};

} // namespace ostrel::des
