#include "serial_numbers.h"

#include "base/text_excerpt.h"
#include "card/card_layout.h"

#include <cctype>

namespace ostrel::workflows {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool CarriesFormatMarker(std::int64_t serial) {
    return ((serial >> 8) & 0xFF) == card::layout::kFormatMarkerValue;
}

std::optional<std::int64_t> NextMarkedSerial(std::int64_t serial) {
    std::int64_t next = serial + 1;
    if (!CarriesFormatMarker(next)) {
        // The marker is bits 8..15. Below it, the marker is reached in the same upper half;
        // past it, in the next one; either way with a zero low byte.
        std::int64_t upper = next >> 16;
        if (((next >> 8) & 0xFF) > card::layout::kFormatMarkerValue)
            ++upper;
        next = upper << 16 | std::int64_t{card::layout::kFormatMarkerValue} << 8;
    }
    if (next > kLastSerial)
        return std::nullopt;
    return next;
}

ConfiguredSerial ParseConfiguredSerial(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    const std::string digits = text.substr(begin, end - begin);
    const std::string quoted = "« " + base::Excerpt(digits) + " »";
    if (digits.empty())
        return {std::nullopt, "numéro de série vide"};
    // Cut to its first nine characters it would be another serial, perhaps one already given.
    if (digits.size() > kSerialTextLimit) {
        return {std::nullopt, "numéro de série " + quoted + " trop long : " +
                                  std::to_string(kSerialTextLimit) + " caractères au plus"};
    }
    for (const char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return {std::nullopt, "numéro de série " + quoted + " : pas un nombre entier positif"};
        }
    }
    // Nine digits at most: the value lies in 0..999999999.
    const std::int64_t serial = std::stoll(digits);
    if (serial > kLastSerial) {
        return {std::nullopt, "plus aucun numéro de série disponible : " + quoted +
                                  " vient après le dernier, " + std::to_string(kLastSerial)};
    }
    if (!CarriesFormatMarker(serial)) {
        return {std::nullopt,
                "numéro de série " + quoted + " sans la marque de formatage (troisième octet 42)"};
    }
    return {serial, {}};
}

} // namespace ostrel::workflows
