#pragma once

#include <optional>
#include <string>

namespace ostrel::cli {

// A count given on the command line (credits, programme): a plain decimal number, "." or ","
// before its decimals, rounded to the nearest integer with halves going to the even neighbour
// as the windows round, and within 0..255, the byte the card stores. Nothing else is taken:
// not "abc", "", "nan", "1e2", "+3" nor " 3", which the windows would read as some number.
// On refusal, error says why ("« abc » n'est pas un nombre décimal...").
std::optional<int> NumberArgument(const std::string& text, std::string& error);

} // namespace ostrel::cli
