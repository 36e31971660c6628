#pragma once

#include "journal_entries.h"
#include "serial_reservation.h"

#include <string>

namespace ostrel::base {
class Waiting;
}

namespace ostrel::workflows {

// Where a format takes its serial: the one way to reserve, whatever keeps the series (this
// station's configuration beside its journal file, or a server several stations share).
class SerialSeries {
public:
    virtual ~SerialSeries() = default;

    // The serial the next blank card receives, or why formatting is refused.
    virtual ConfiguredRead Next() = 0;
    // The same for showing only, beside a window: never waits for another call of this
    // program (inUse then), and gives up once waiting is called off.
    virtual ConfiguredRead Glance(base::Waiting* waiting) = 0;

    // Takes a serial for the card whose code was just accepted, and adds the format's row
    // "interrompue" to the journal: serials the journal knows as given, or seen on a card, are
    // passed over and named in the reservation's warning. Whatever fails leaves the series as
    // it was. Touches nothing but the series and the journal, so that it may run beside the
    // window's thread.
    virtual Reservation Reserve(const journal::Writer& journal, JournalledOperation& record) = 0;

    // The place, for messages.
    virtual std::string Location() const = 0;
    // What the formatting window says beside the next serial; empty for nothing.
    virtual std::string Note() const { return {}; }
    // Reading it may wait on a network: a window reads it beside its thread, again and again.
    virtual bool Remote() const { return false; }
};

} // namespace ostrel::workflows
