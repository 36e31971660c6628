#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel::des {

// Why UTF-8 text could not become Windows-1252 bytes.
struct Utf8ToWindows1252Error {
    enum class Kind { None, InvalidUtf8, NotRepresentable } kind = Kind::None;
    std::size_t offset = 0; // byte offset of the offending sequence in the UTF-8 text
    char32_t codePoint = 0; // the character, for NotRepresentable
};

// Converts UTF-8 to Windows-1252, one byte per character. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number,
// so every byte string survives the trip to UTF-8 and back. False on a character the code page
// cannot hold or on malformed UTF-8.
bool Utf8ToWindows1252(std::string_view utf8, std::string& bytes, Utf8ToWindows1252Error& error);

std::string Windows1252ToUtf8(std::string_view bytes);

// The character as "U+20AC" for messages.
std::string CodePointName(char32_t codePoint);

} // namespace ostrel::des
