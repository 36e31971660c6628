#pragma once

#include "journal_entries.h"
#include "serial_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::workflows {

// "NextSerial" as read from the store: the serial, or why formatting is refused (the text the
// window shows and the reason naming the file).
struct ConfiguredRead {
    std::optional<std::int64_t> serial;
    std::string refusal; // empty when serial is set
    std::string problem;
    bool inUse = false; // glanced at while another call used the store: nothing read
};
ConfiguredRead ReadConfiguredSerial(SerialStore& store);
// The same for showing it only, beside a window (SerialStore::Glance).
ConfiguredRead GlanceConfiguredSerial(SerialStore& store, base::Waiting* waiting);

// The serial taken for the card whose code was just accepted, or why none was.
struct Reservation {
    std::optional<std::int64_t> serial;
    std::optional<std::int64_t> next; // what the series now holds, once serial is taken
    std::string refusal;              // what the window shows when none was taken
    std::string problem;
    std::string warning; // the serials passed over, as the journal knew them given or seen
};

// What the operator is told of serials a reservation passed over; empty for none.
std::string SkippedSerialsText(const std::vector<journal::SkippedSerial>& skipped);

} // namespace ostrel::workflows
