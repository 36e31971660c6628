#include "hex_text.h"

#include "base/hex.h"
#include "text_buffer.h"

namespace ostrel::des {

std::string BytesToHex(std::string_view bytes) {
    TextBuffer buffer;
    for (const char c : bytes) {
        for (const char digit : base::HexDigits(static_cast<std::uint8_t>(c)))
            buffer.append(digit);
    }
    return buffer.text();
}

std::optional<std::string> HexToBytes(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    TextBuffer buffer;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        std::uint8_t byte = 0;
        if (!base::HexPairToByte(hex[i], hex[i + 1], byte)) {
            return std::nullopt;
        }
        buffer.append(static_cast<char>(byte));
    }
    return buffer.text();
}

} // namespace ostrel::des
