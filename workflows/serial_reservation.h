#pragma once

#include "journal_entries.h"
#include "serial_store.h"

#include <cstdint>
#include <optional>
#include <string>

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
    std::optional<std::int64_t> next; // what the store now holds, once serial is taken
    std::string refusal;              // what the window shows when none was taken
    std::string problem;
};

// Takes a serial for a card about to be written. Under the store's lock: "NextSerial" is read
// and checked against the journal, the format is added to the journal as interrupted, and only
// then is the advanced value saved. Whatever fails leaves the store as it was: no serial is
// used up by a card that is never written. Touches nothing but the store and the journal, so
// that it may run beside the window's thread.
Reservation ReserveSerial(SerialStore& store, const journal::Writer& journal,
                          JournalledOperation& record);

} // namespace ostrel::workflows
