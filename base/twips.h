#pragma once

#include <cmath>

namespace ostrel::base {

// Window layouts are given in twips: 1440 a logical inch, so 15 a pixel at 96 dpi. Both the
// main window and the workflow windows convert through this one function.
inline int TwipsToPixels(int twips, double logicalDpi = 96.0) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

} // namespace ostrel::base
