#include "operation_key.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace ostrel::journal {

std::string NewOperationKey() {
    std::random_device device;
    std::string key;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<std::uint32_t>(device()));
        key += part;
    }
    return key;
}

} // namespace ostrel::journal
