#include "dialect_probe.h"

namespace ostrel::reader::pcsc {

namespace {

// 0 when the step's reply fits, 1 when it does not, or the failed exchange's result.
std::int32_t Try(const Transmitter& transmit, const dialect::ProbeStep& step,
                 std::vector<std::uint8_t>& reply) {
    reply.clear();
    if (const std::int32_t r = transmit({step.apdu.bytes.data(), step.apdu.length}, reply); r < 0)
        return r;
    const bool fits = reply.size() == step.dataLength + 2 && reply[step.dataLength] == 0x90 &&
                      reply[step.dataLength + 1] == 0x00;
    return fits ? 0 : 1;
}

} // namespace

ProbeResult ProbeDialect(const Transmitter& transmit) {
    std::vector<std::uint8_t> reply;
    for (const dialect::Probe& probe : dialect::kProbes) {
        std::int32_t r = Try(transmit, probe.first, reply);
        if (r == 0 && probe.confirm.apdu.length > 0)
            r = Try(transmit, probe.confirm, reply);
        if (r < 0)
            return {r, {}};
        if (r == 0)
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
