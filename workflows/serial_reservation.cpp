#include "serial_reservation.h"

#include "serial_numbers.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

namespace {

ConfiguredRead Configured(SerialStore& store, bool readOk, const std::string& text,
                          const std::string& error) {
    ConfiguredRead read;
    if (!readOk) {
        read.refusal = store.KeepsSeriesWithJournal()
                           ? texts::kServerUnusable
                           : texts::SerialRefusedText("configuration illisible");
        read.problem = error;
        return read;
    }
    const ConfiguredSerial configured = ParseConfiguredSerial(text);
    if (!configured.serial) {
        read.refusal = texts::SerialRefusedText(configured.problem);
        read.problem = "NextSerial (section Format) de " + store.Location() + " : " +
                       configured.problem + " ; corrigez-le";
        return read;
    }
    read.serial = configured.serial;
    return read;
}

} // namespace

ConfiguredRead ReadConfiguredSerial(SerialStore& store) {
    std::string text;
    std::string error;
    const bool ok = store.Read(text, error);
    return Configured(store, ok, text, error);
}

ConfiguredRead GlanceConfiguredSerial(SerialStore& store, base::Waiting* waiting) {
    std::string text;
    std::string error;
    bool inUse = false;
    const bool ok = store.Glance(text, inUse, error, waiting);
    if (ok && inUse) {
        ConfiguredRead read;
        read.inUse = true;
        return read;
    }
    return Configured(store, ok, text, error);
}

namespace {

Reservation Refused(std::string refusal, std::string problem) {
    Reservation r;
    r.refusal = std::move(refusal);
    r.problem = std::move(problem);
    return r;
}

// One transaction on the server: the serial, and the row "interrompue" that names it.
Reservation ReserveOnServer(SerialStore& store, const journal::Writer& journal,
                            JournalledOperation& record) {
    std::int64_t serial = 0;
    std::int64_t id = 0;
    std::optional<std::string> issued;
    std::string error;
    if (!store.Reserve(record.entry(), serial, id, issued, error)) {
        const ConfiguredRead read = issued ? ReadConfiguredSerial(store) : ConfiguredRead{};
        if (read.serial)
            return Refused(texts::SerialAlreadyIssuedText(*read.serial, *issued), error);
        // Another station held the series for the whole wait: busy, not unusable.
        if (journal.journal && journal.journal->busy())
            return Refused(texts::kServerBusy, error);
        return Refused(texts::kServerUnusable, error);
    }
    record.Resume(id);
    Reservation r;
    r.serial = serial;
    r.next = NextMarkedSerial(serial).value_or(serial);
    return r;
}

} // namespace

Reservation ReserveSerial(SerialStore& store, const journal::Writer& journal,
                          JournalledOperation& record) {
    if (store.KeepsSeriesWithJournal())
        return ReserveOnServer(store, journal, record);
    // Held until the reservation is on disk and in the journal: every program using this
    // configuration takes its serial one after the other.
    SerialStoreLock lock(store);
    std::string error;
    switch (lock.Take(error)) {
    case LockResult::Taken:
        break;
    case LockResult::Busy:
        return Refused(texts::kConfigurationBusyRefusal, error);
    case LockResult::Failed:
        return Refused(texts::SerialRefusedText("verrou de la configuration impossible"), error);
    }
    const ConfiguredRead read = ReadConfiguredSerial(store);
    if (!read.serial)
        return Refused(read.refusal, read.problem);
    const std::int64_t serial = *read.serial;
    // The last serial is given too; the value saved after it refuses the next format.
    const std::int64_t next = NextMarkedSerial(serial).value_or(kNoSerialLeft);
    std::optional<std::string> issued;
    if (journal.journal && !journal.journal->IssuedAt(serial, issued, error))
        return Refused(texts::JournalRefusal(*journal.journal), error);
    if (issued) {
        // Set back onto a serial already given: formatting waits until the value is mended.
        return Refused(texts::SerialAlreadyIssuedText(serial, *issued),
                       "NextSerial (section Format) de " + store.Location() +
                           " ramené sur un numéro déjà attribué selon le journal " +
                           journal.journal->Location());
    }
    // The store moves past the serial before the journal names it: a program killed in between
    // leaves an unused serial behind, never a configuration that points at a serial the journal
    // calls given, which would stop every later format.
    if (!store.Save(next, error))
        return Refused(texts::SerialNotSavedText(), error);
    record.entry().serialNew = serial;
    if (!record.Begin(error)) {
        // Nothing was written to the card: the serial goes back to the store.
        std::string undo;
        if (!store.Save(serial, undo))
            error += " ; " + undo + " ; le numéro " + std::to_string(serial) + " reste inutilisé";
        return Refused(texts::JournalRefusal(*journal.journal), error);
    }
    Reservation r;
    r.serial = serial;
    r.next = next;
    return r;
}

} // namespace ostrel::workflows
