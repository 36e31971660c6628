#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::des {

// Fills bytes from the operating system's random source; false if it cannot be read.
bool FillRandom(std::uint8_t* bytes, std::size_t count);

} // namespace ostrel::des
