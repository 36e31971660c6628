#pragma once

#include <optional>
#include <string>

namespace ostrel::workflows {

// The number of a text field as the windows read it: its leading numeric part (blanks, an
// optional sign, digits, an optional decimal point and digits; an empty or non-numeric text
// gives 0), rounded to the nearest integer with halves going to the even neighbour.
// Nothing when the result does not fit the byte the card stores (0..255).
std::optional<int> FieldNumber(const std::string& text);

} // namespace ostrel::workflows
