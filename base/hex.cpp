#include "hex.h"

namespace ostrel::base {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::array<char, 2> HexDigits(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string BytesToHex(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto pair = HexDigits(static_cast<std::uint8_t>(c));
        text.append(pair.begin(), pair.end());
    }
    return text;
}

bool HexPairToByte(char high, char low, std::uint8_t& byte) {
    const int h = DigitValue(high);
    const int l = DigitValue(low);
    if (h < 0 || l < 0)
        return false;
    byte = static_cast<std::uint8_t>(h * 16 + l);
    return true;
}

bool ParseHexNumber(std::string_view text, std::size_t digits, std::uint32_t& value) {
    if (text.size() != digits)
        return false;
    std::uint32_t read = 0;
    for (std::size_t i = 0; i + 1 < digits; i += 2) {
        std::uint8_t byte = 0;
        if (!HexPairToByte(text[i], text[i + 1], byte))
            return false;
        read = read << 8 | byte;
    }
    value = read;
    return true;
}

std::string HexNumber(std::uint32_t value, std::size_t digits) {
    std::string text;
    for (std::size_t shift = digits * 4; shift >= 8;) {
        shift -= 8;
        const auto pair = HexDigits(static_cast<std::uint8_t>(value >> shift));
        text.append(pair.begin(), pair.end());
    }
    return text;
}

} // namespace ostrel::base
