#include "number_argument.h"

#include "base/text_excerpt.h"
#include "workflows/field_number.h"

#include <cctype>

namespace ostrel::cli {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Digits, then optionally one "." or "," and digits.
bool PlainDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    if (i == 0)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != '.' && text[i] != ',')
        return false;
    const std::size_t decimals = ++i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i == text.size() && i > decimals;
}

} // namespace

std::optional<int> NumberArgument(const std::string& text, std::string& error) {
    const std::string quoted = "« " + base::Excerpt(text) + " »";
    if (!PlainDecimal(text)) {
        error = quoted + " n'est pas un nombre décimal de 0 à 255 (par exemple 12, 2.5 ou 2,5)";
        return std::nullopt;
    }
    std::string dotted = text;
    if (const auto comma = dotted.find(','); comma != std::string::npos)
        dotted[comma] = '.';
    // The same rounding as the windows, on a text both read alike.
    const std::optional<int> number = workflows::FieldNumber(dotted);
    if (!number)
        error = quoted + " est hors de 0 à 255 une fois arrondi";
    return number;
}

} // namespace ostrel::cli
