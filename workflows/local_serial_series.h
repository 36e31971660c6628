#pragma once

#include "serial_series.h"
#include "serial_store.h"

namespace ostrel::workflows {

// The series of one station: "NextSerial" of its configuration, checked against its journal
// file. Every program using the same configuration reserves under the store's lock, one after
// the other.
class LocalSerialSeries : public SerialSeries {
public:
    explicit LocalSerialSeries(SerialStore& store) : store_(store) {}

    ConfiguredRead Next() override { return ReadConfiguredSerial(store_); }
    ConfiguredRead Glance(base::Waiting* waiting) override {
        return GlanceConfiguredSerial(store_, waiting);
    }
    // Under the store's lock: "NextSerial" is read, moved past every serial the journal knows,
    // advanced and saved, and only then is the format added to the journal as interrupted (a
    // journal that refuses it sets the store back). A program killed in between leaves an
    // unused serial, never a configuration pointing at a serial the journal calls given.
    Reservation Reserve(const journal::Writer& journal, JournalledOperation& record) override;
    std::string Location() const override { return store_.Location(); }

private:
    SerialStore& store_;
};

} // namespace ostrel::workflows
