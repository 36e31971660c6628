#include "operation_key.h"

#include <random>

namespace ostrel::journal {

std::string NewRandomKey() {
    // The system's entropy source, as uuids are made: a key is never derived from another.
    std::random_device source;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string key;
    for (int word = 0; word < 4; ++word) {
        std::uint32_t bits = source();
        for (int digit = 0; digit < 8; ++digit, bits >>= 4)
            key += kDigits[bits & 15];
    }
    return key;
}

} // namespace ostrel::journal
