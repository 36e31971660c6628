#include "server_serial_series.h"

#include "serial_numbers.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

namespace {

ConfiguredRead Unusable(const std::string& reason) {
    ConfiguredRead read;
    read.refusal = texts::kServerUnusable;
    read.problem = reason;
    return read;
}

ConfiguredRead Shown(const std::optional<std::int64_t>& next, const std::string& server) {
    if (!next)
        return Unusable("serveur " + server +
                        " : série absente (ostrel-card journal --init-server ADRESSE --next N)");
    ConfiguredRead read;
    read.serial = next;
    return read;
}

} // namespace

ConfiguredRead ServerSerialSeries::Next() {
    std::optional<std::int64_t> next;
    std::string error;
    if (!server_.NextSerial(next, error))
        return Unusable(error);
    return Shown(next, server_.Location());
}

ConfiguredRead ServerSerialSeries::Glance(base::Waiting* waiting) {
    std::optional<std::int64_t> next;
    bool inUse = false;
    std::string error;
    if (!server_.GlanceNextSerial(next, inUse, error, waiting))
        return Unusable(error);
    if (inUse) {
        ConfiguredRead read;
        read.inUse = true;
        return read;
    }
    return Shown(next, server_.Location());
}

Reservation ServerSerialSeries::Reserve(const journal::Writer& journal,
                                        JournalledOperation& record) {
    std::int64_t serial = 0;
    std::int64_t id = 0;
    std::vector<journal::SkippedSerial> skipped;
    std::string error;
    Reservation r;
    if (!server_.Reserve(record.entry(), serial, id, skipped, error)) {
        // Another station held the series for the whole wait: busy, not unusable.
        r.refusal = journal.journal && journal.journal->busy() ? texts::kServerBusy
                                                               : texts::kServerUnusable;
        r.problem = error;
        return r;
    }
    record.entry().serialNew = serial;
    record.Resume(id);
    r.serial = serial;
    r.next = NextMarkedSerial(serial).value_or(serial);
    r.warning = SkippedSerialsText(skipped);
    return r;
}

std::string ServerSerialSeries::Note() const {
    return texts::kServerSeries;
}

} // namespace ostrel::workflows
