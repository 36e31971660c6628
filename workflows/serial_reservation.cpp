#include "serial_reservation.h"

#include "serial_numbers.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

namespace {

ConfiguredRead Configured(SerialStore& store, bool readOk, const std::string& text,
                          const std::string& error) {
    ConfiguredRead read;
    if (!readOk) {
        read.refusal = texts::SerialRefusedText("configuration illisible");
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

// "2026-12-07T09:14:03Z" reads "le 2026-12-07 à 09:14 UTC".
std::string When(const std::string& time) {
    return time.size() >= 16 ? time.substr(0, 10) + " à " + time.substr(11, 5) + " UTC" : time;
}

} // namespace

std::string SkippedSerialsText(const std::vector<journal::SkippedSerial>& skipped) {
    if (skipped.empty())
        return {};
    if (skipped.size() == 1)
        return "numéro " + std::to_string(skipped.front().serial) + " déjà vu sur une carte le " +
               When(skipped.front().seen) + ", passé";
    return "numéros " + std::to_string(skipped.front().serial) + " à " +
           std::to_string(skipped.back().serial) + " (" + std::to_string(skipped.size()) +
           ") déjà donnés ou vus sur une carte, passés";
}

} // namespace ostrel::workflows
