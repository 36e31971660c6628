#pragma once

#include "reader/reader_dialects.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ostrel::reader::pcsc {

// Sends one APDU to the card and leaves its reply; the reader library's result.
using Transmitter = std::function<std::int32_t(std::span<const std::uint8_t> apdu,
                                               std::vector<std::uint8_t>& reply)>;

struct ProbeResult {
    std::int32_t result = 0;                 // negative: an exchange failed, nothing was learnt
    std::optional<dialect::Dialect> dialect; // empty with result 0: no dialect fits
};

// Tells the reader's dialect by the probes of dialect::kProbes, which neither present a code
// nor write. The card is then as the found dialect's session start leaves it.
ProbeResult ProbeDialect(const Transmitter& transmit);

// Why no dialect was found, for the user.
std::string NoDialectText(const std::string& readerName);

} // namespace ostrel::reader::pcsc
