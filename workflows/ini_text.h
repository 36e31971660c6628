#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text of an INI file, changed one value at a time so that everything else in it stays as
// the operator wrote it: a UTF-8 byte-order mark, comments (";" or "#"), blank lines, other
// sections and keys, line endings (LF, CR LF or CR alone). Section and key names are compared
// without regard to case, as the profile files this format comes from do; a section may come
// more than once, and the first occurrence of the key in any of them counts.
namespace ostrel::workflows::ini {

// The value of key in section, blanks around it removed and one pair of surrounding double
// quotes taken off; nothing when the key is absent.
std::optional<std::string> Value(std::string_view text, std::string_view section,
                                 std::string_view key);

// The value of key in section as Value finds it, or why the text cannot be trusted to tell it:
// a text in UTF-16 or UTF-32 (its byte-order mark, or NUL bytes), the key set more than once in
// the section, or no value found while a line that is no comment names the key (in another
// section, or without "="). A French problem, empty when there is none.
struct Lookup {
    std::optional<std::string> value;
    std::string problem;
};
Lookup Find(std::string_view text, std::string_view section, std::string_view key);

// text with the value of key in section replaced by value. Only the value of that line
// changes, the double quotes around it stay; an absent key is added at the end of its section,
// an absent section at the end, with the text's own line ending.
std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);

} // namespace ostrel::workflows::ini
