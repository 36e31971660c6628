#pragma once

#include <string>

namespace ostrel::journal {

// A random 128-bit id in 32 hexadecimal digits, made by the station for one operation: the
// journal keeps one row per key, so an add sent again after a lost answer is not a second row.
std::string NewOperationKey();

} // namespace ostrel::journal
