#include "server_serial_store.h"

namespace ostrel::workflows {

bool ServerSerialStore::Read(std::string& text, std::string& error) {
    std::optional<std::int64_t> next;
    if (!server_.NextSerial(next, error))
        return false;
    if (!next) {
        error = "serveur " + server_.Location() +
                " : série absente (ostrel-card journal --init-server ADRESSE --next N)";
        return false;
    }
    text = std::to_string(*next);
    return true;
}

bool ServerSerialStore::Save(std::int64_t, std::string& error) {
    // Never called: the server advances its series in the reservation itself.
    error = "serveur " + server_.Location() + " : la série avance à la réservation";
    return false;
}

} // namespace ostrel::workflows
