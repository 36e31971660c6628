#include "field_number.h"

#include <algorithm>
#include <cctype>

namespace ostrel::workflows {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Large enough to tell "out of range" from any byte, small enough never to overflow.
constexpr long kSaturated = 100000;

} // namespace

std::optional<int> FieldNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long whole = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        whole = std::min(kSaturated, whole * 10 + (text[i] - '0'));
    }
    // The fraction decides the rounding by its digits alone, so 2.5000001 goes up while 2.5
    // goes to the even 2: no binary floating point in between.
    int firstDecimal = 0;
    bool moreAfterFirst = false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (i < text.size() && IsDigit(text[i]))
            firstDecimal = text[i++] - '0';
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            if (text[i] != '0')
                moreAfterFirst = true;
        }
    }
    const bool up = firstDecimal > 5 || (firstDecimal == 5 && (moreAfterFirst || whole % 2 == 1));
    const long rounded = whole + (up ? 1 : 0);
    if (rounded == 0)
        return 0; // -0.4 and -0.5 round to zero, which fits
    if (negative || rounded > 255)
        return std::nullopt;
    return static_cast<int>(rounded);
}

} // namespace ostrel::workflows
