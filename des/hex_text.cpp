#include "hex_text.h"

#include "text_buffer.h"

namespace ostrel::des {

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

std::string BytesToHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    TextBuffer buffer;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        buffer.append(kDigits[byte >> 4]);
        buffer.append(kDigits[byte & 0x0F]);
    }
    return buffer.text();
}

std::optional<std::string> HexToBytes(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    TextBuffer buffer;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigitValue(hex[i]);
        const int low = hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        buffer.append(static_cast<char>(high << 4 | low));
    }
    return buffer.text();
}

} // namespace ostrel::des
