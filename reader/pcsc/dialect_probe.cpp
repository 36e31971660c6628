#include "dialect_probe.h"

namespace ostrel::reader::pcsc {

namespace {

bool Fits(const dialect::Probe& probe, const std::vector<std::uint8_t>& reply) {
    return reply.size() == probe.dataLength + 2 && reply[probe.dataLength] == 0x90 &&
           reply[probe.dataLength + 1] == 0x00;
}

} // namespace

ProbeResult ProbeDialect(const Transmitter& transmit) {
    std::vector<std::uint8_t> reply;
    for (const dialect::Probe& probe : dialect::kProbes) {
        reply.clear();
        if (const std::int32_t r = transmit({probe.apdu.bytes.data(), probe.apdu.length}, reply);
            r < 0) {
            return {r, {}};
        }
        if (Fits(probe, reply))
            return {0, probe.names};
    }
    return {};
}

std::string NoDialectText(const std::string& readerName) {
    return "lecteur « " + readerName +
           " » : jeu de commandes inconnu, ni memcard, ni storage, ni iso ne répond à la carte ; "
           "choisissez --dialect";
}

} // namespace ostrel::reader::pcsc
