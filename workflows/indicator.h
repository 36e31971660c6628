#pragma once

#include <cstdint>

namespace ostrel::workflows {

// The round state indicator of the workflow windows.
enum class Indicator {
    Green,  // idle or done
    Yellow, // card being handled
    Red,    // code refused, or the card could not be written
};

// The fill colour as red, green and blue.
struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

constexpr Rgb IndicatorColour(Indicator indicator) {
    switch (indicator) {
    case Indicator::Green:
        return {0x00, 0xFF, 0x00};
    case Indicator::Yellow:
        return {0xFF, 0xFF, 0x00};
    case Indicator::Red:
        break;
    }
    return {0xFF, 0x00, 0x00};
}

} // namespace ostrel::workflows
