#pragma once

#include <string>

namespace ostrel::journal {

// A random 128-bit id as 32 lowercase hex digits: the key a station gives an operation (a
// call sent again after its answer was lost finds its row by it), or a journal file's id.
std::string NewRandomKey();

} // namespace ostrel::journal
