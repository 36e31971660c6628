#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ostrel::base {

// Overwrites memory that held a secret (a DES key, a card's security code) with zeros, in a
// way the compiler may not leave out as a store to memory that is about to die.
void ClearSecret(void* bytes, std::size_t size);

// The whole of text's storage, also past its length, then empties it.
void ClearSecret(std::string& text);

// Each of texts, as above (the words of a command line that may hold a key).
void ClearSecret(std::vector<std::string>& texts);

} // namespace ostrel::base
