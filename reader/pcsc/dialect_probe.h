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

// Sets the card type through the reader's driver and powers the card up again, so that the
// driver selects it: 0 when done, 1 when the reader refuses the control, or a failed call's
// negative result. Empty where no such control can be sent.
using CardTypeControl = std::function<std::int32_t()>;

struct ProbeResult {
    std::int32_t result = 0;                 // negative: an exchange failed, nothing was learnt
    std::optional<dialect::Dialect> dialect; // empty with result 0: no dialect fits
    bool typeByControl = false;              // memcard, the card type set through the driver
};

// Tells the reader's dialect by the probes of dialect::kProbes, which neither present a code
// nor write. cardAtr: the card's own four ATR bytes, which older memcard firmware answers to
// the selection. A reader that refuses the memcard selection is given the card type through
// control, when it accepts it, and the error-counter read then confirms memcard. The card is
// then as the found dialect's session start leaves it.
ProbeResult ProbeDialect(const Transmitter& transmit, std::span<const std::uint8_t> cardAtr,
                         const CardTypeControl& control = {});

// Why no dialect was found, for the user.
std::string NoDialectText(const std::string& readerName);

} // namespace ostrel::reader::pcsc
