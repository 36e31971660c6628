#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text of an INI file, changed one value at a time so that everything else in it stays as
// the operator wrote it: a UTF-8 byte-order mark, comments (";" or "#"), blank lines, other
// sections and keys, line endings. Section and key names are compared without regard to case,
// as the profile files this format comes from do; the first occurrence counts.
namespace ostrel::workflows::ini {

// The value of key in section, blanks around it removed and one pair of surrounding double
// quotes taken off; nothing when the key is absent.
std::optional<std::string> Value(std::string_view text, std::string_view section,
                                 std::string_view key);

// text with the value of key in section replaced by value. Only the value of that line
// changes; an absent key is added at the end of its section, an absent section at the end.
std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);

} // namespace ostrel::workflows::ini
