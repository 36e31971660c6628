#include "server_serial_store.h"

namespace ostrel::workflows {

namespace {

bool SeriesText(const std::optional<std::int64_t>& next, const std::string& server,
                std::string& text, std::string& error) {
    if (!next) {
        error = "serveur " + server +
                " : série absente (ostrel-card journal --init-server ADRESSE --next N)";
        return false;
    }
    text = std::to_string(*next);
    return true;
}

} // namespace

bool ServerSerialStore::Read(std::string& text, std::string& error) {
    std::optional<std::int64_t> next;
    return server_.NextSerial(next, error) && SeriesText(next, server_.Location(), text, error);
}

bool ServerSerialStore::Glance(std::string& text, bool& inUse, std::string& error,
                               base::Waiting* waiting) {
    std::optional<std::int64_t> next;
    if (!server_.GlanceNextSerial(next, inUse, error, waiting))
        return false;
    return inUse || SeriesText(next, server_.Location(), text, error);
}

bool ServerSerialStore::Save(std::int64_t, std::string& error) {
    // Never called: the server advances its series in the reservation itself.
    error = "serveur " + server_.Location() + " : la série avance à la réservation";
    return false;
}

} // namespace ostrel::workflows
