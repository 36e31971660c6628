#include "secret.h"

#include <string.h>

namespace ostrel::base {

void ClearSecret(void* bytes, std::size_t size) {
    ::explicit_bzero(bytes, size);
}

void ClearSecret(std::string& text) {
    // Growing within the capacity moves nothing, so the bytes cleared are the ones that held it.
    text.resize(text.capacity());
    ClearSecret(text.data(), text.size());
    text.clear();
}

void ClearSecret(std::vector<std::string>& texts) {
    for (std::string& text : texts)
        ClearSecret(text);
}

} // namespace ostrel::base
