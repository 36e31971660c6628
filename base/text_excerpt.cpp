#include "text_excerpt.h"

#include <cstdint>
#include <cstdio>

namespace ostrel::base {

namespace {

// Length of the UTF-8 sequence starting at text[at] and its code point; 0 when the bytes there
// are not valid UTF-8.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (byte(i) & 0x3Fu);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Characters a terminal acts on or that cannot be seen: C0 and C1 controls, DEL, and the
// format marks (byte-order mark, zero-width and direction marks).
bool MustEscape(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFEFF || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string Escape(std::uint32_t c) {
    switch (c) {
    case '\t':
        return "\\t";
    case '\r':
        return "\\r";
    case '\n':
        return "\\n";
    default:
        break;
    }
    char text[12];
    if (c < 0x100)
        std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(c));
    else
        std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned>(c));
    return text;
}

} // namespace

std::string Excerpt(std::string_view text, std::size_t maxCharacters) {
    std::string shown;
    std::size_t characters = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        if (characters == maxCharacters)
            return shown + "…";
        std::uint32_t c = 0;
        const std::size_t length = DecodeUtf8(text, at, c);
        if (length == 0) {
            shown += Escape(static_cast<unsigned char>(text[at]));
            at += 1;
        } else {
            if (MustEscape(c))
                shown += Escape(c);
            else
                shown.append(text.substr(at, length));
            at += length;
        }
        ++characters;
    }
    return shown;
}

std::string Escaped(std::string_view text) {
    return Excerpt(text, text.size());
}

} // namespace ostrel::base
