#include "local_serial_series.h"

#include "serial_numbers.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

namespace {

Reservation Refused(std::string refusal, std::string problem) {
    Reservation r;
    r.refusal = std::move(refusal);
    r.problem = std::move(problem);
    return r;
}

// How many known serials one reservation passes over before it calls the journal unusable: far
// more than a site ever sees in a row, few enough to answer at once.
constexpr int kMostSkipped = 10000;

} // namespace

Reservation LocalSerialSeries::Reserve(const journal::Writer& journal,
                                       JournalledOperation& record) {
    SerialStoreLock lock(store_);
    std::string error;
    switch (lock.Take(error)) {
    case LockResult::Taken:
        break;
    case LockResult::Busy:
        return Refused(texts::kConfigurationBusyRefusal, error);
    case LockResult::Failed:
        return Refused(texts::SerialRefusedText("verrou de la configuration impossible"), error);
    }
    const ConfiguredRead read = ReadConfiguredSerial(store_);
    if (!read.serial)
        return Refused(read.refusal, read.problem);
    std::optional<std::int64_t> serial = read.serial;
    std::vector<journal::SkippedSerial> skipped;
    // A serial given before, or seen on a card, is passed over: one row never stops the series.
    while (journal.journal) {
        std::optional<std::string> issued;
        if (!journal.journal->IssuedAt(*serial, issued, error))
            return Refused(texts::JournalRefusal(*journal.journal), error);
        if (!issued)
            break;
        skipped.push_back({*serial, *issued});
        serial = NextMarkedSerial(*serial);
        if (!serial || skipped.size() >= kMostSkipped)
            return Refused(texts::SerialRefusedText("plus aucun numéro libre après " +
                                                    std::to_string(skipped.back().serial)),
                           SkippedSerialsText(skipped));
    }
    // The last serial is given too; the value saved after it refuses the next format.
    const std::int64_t next = NextMarkedSerial(*serial).value_or(kNoSerialLeft);
    if (!store_.Save(next, error))
        return Refused(texts::SerialNotSavedText(), error);
    record.entry().serialNew = *serial;
    if (!record.Begin(error)) {
        // Nothing was written to the card: the series goes back to where it stood.
        std::string undo;
        if (!store_.Save(*read.serial, undo))
            error += " ; " + undo + " ; le numéro " + std::to_string(*serial) + " reste inutilisé";
        return Refused(texts::JournalRefusal(*journal.journal), error);
    }
    Reservation r;
    r.serial = serial;
    r.next = next;
    r.warning = SkippedSerialsText(skipped);
    if (!r.warning.empty())
        r.warning = "NextSerial de " + store_.Location() + " : " + r.warning;
    return r;
}

} // namespace ostrel::workflows
