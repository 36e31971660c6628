#pragma once

#include "journal/pg_journal.h"
#include "serial_series.h"

namespace ostrel::workflows {

// The series on the server several stations share, beside its journal: the local "NextSerial"
// is not used. A reservation is one transaction on the server, which also serialises the
// stations (they wait on the series row, never on each other's cards).
class ServerSerialSeries : public SerialSeries {
public:
    explicit ServerSerialSeries(journal::PgJournal& server) : server_(server) {}

    ConfiguredRead Next() override;
    ConfiguredRead Glance(base::Waiting* waiting) override;
    Reservation Reserve(const journal::Writer& journal, JournalledOperation& record) override;
    std::string Location() const override { return server_.Location(); }
    std::string Note() const override;
    bool Remote() const override { return true; }

private:
    journal::PgJournal& server_;
};

} // namespace ostrel::workflows
