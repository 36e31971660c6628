#pragma once

#include "journal/pg_journal.h"
#include "serial_store.h"

namespace ostrel::workflows {

// The series on the server several stations share, beside its journal: the local "NextSerial"
// is not used. Reading shows the server's next serial; a reservation is one transaction on
// the server, which also serialises the stations (they wait on the series row, never on each
// other's cards).
class ServerSerialStore : public SerialStore {
public:
    explicit ServerSerialStore(journal::PgJournal& server) : server_(server) {}

    bool Read(std::string& text, std::string& error) override;
    bool Glance(std::string& text, bool& inUse, std::string& error,
                base::Waiting* waiting) override;
    LockResult Lock(std::string&) override { return LockResult::Taken; }
    void Unlock() override {}
    bool Save(std::int64_t nextSerial, std::string& error) override;
    std::string Location() const override { return server_.Location(); }

    bool KeepsSeriesWithJournal() const override { return true; }
    bool Reserve(const journal::Entry& entry, std::int64_t& serial, std::int64_t& rowId,
                 std::optional<std::string>& issuedTime, std::string& error) override {
        return server_.Reserve(entry, serial, rowId, issuedTime, error);
    }

private:
    journal::PgJournal& server_;
};

} // namespace ostrel::workflows
