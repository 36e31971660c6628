#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel::workflows {

// The configured "NextSerial" holds nine characters at most.
inline constexpr std::size_t kSerialTextLimit = 9;
inline constexpr const char* kDefaultNextSerial = "1000000";

// The last serial nine characters hold that carries the marker: 3B 9A 42 FF.
inline constexpr std::int64_t kLastSerial = 999965439;
// What the configuration holds once the last serial is given: past it, refused at once.
inline constexpr std::int64_t kNoSerialLeft = 999999999;

// True when the serial, written big-endian into bytes 13..16, puts the format marker into
// byte 15: a card formatted with any other serial reads as not formatted.
bool CarriesFormatMarker(std::int64_t serial);

// The serial after serial that still carries the marker and still fits the configuration's
// nine characters; nothing after kLastSerial.
std::optional<std::int64_t> NextMarkedSerial(std::int64_t serial);

// A configured value: the serial, or why it is refused (French, for the operator).
struct ConfiguredSerial {
    std::optional<std::int64_t> serial;
    std::string problem;
};

// Accepts only a whole number of at most nine digits, blanks around it aside, that carries the
// marker (nine digits keep it inside 0..2147483647; a sign, a fraction, a letter or a tenth
// character is refused, never cut off). A number past kLastSerial says that none is left. The
// problem quotes the text with its control characters escaped.
ConfiguredSerial ParseConfiguredSerial(const std::string& text);

} // namespace ostrel::workflows
