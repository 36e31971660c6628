#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel::base {

// A piece of untrusted text made safe to show in a message: at most maxCharacters characters
// (then "…"), with control characters, invisible marks and bytes that are not UTF-8 written as
// escapes ("\t", "\x1B", "\uFEFF"), so a line of a file can neither flood the terminal nor
// drive it.
std::string Excerpt(std::string_view text, std::size_t maxCharacters = 40);

// The whole of a piece of untrusted text, escaped as Excerpt escapes it: file names, reader
// names and journal fields, which must be shown whole but must not start a line of their own.
std::string Escaped(std::string_view text);

} // namespace ostrel::base
