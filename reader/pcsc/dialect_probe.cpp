#include "dialect_probe.h"

#include "dialect_commands.h"

#include <algorithm>

namespace ostrel::reader::pcsc {

namespace {

enum Outcome : std::int32_t { kFits = 0, kOther = 1, kRefused = 2 };

bool Fits(const dialect::ProbeStep& step, std::span<const std::uint8_t> reply,
          std::span<const std::uint8_t> cardAtr) {
    const bool shaped = reply.size() == step.dataLength + 2 && reply[step.dataLength] == 0x90 &&
                        reply[step.dataLength + 1] == 0x00;
    return shaped || (step.orCardBytes && SessionStarted(dialect::kMemcard, reply, cardAtr));
}

// kFits, kRefused for a lone status word other than 90 00, kOther for any other reply, or the
// failed exchange's result.
std::int32_t Try(const Transmitter& transmit, const dialect::ProbeStep& step,
                 std::span<const std::uint8_t> cardAtr, std::vector<std::uint8_t>& reply) {
    Apdu apdu = FixedCommand(step.apdu);
    for (int sent = 0; sent < 2; ++sent) {
        reply.clear();
        if (const std::int32_t r = transmit(apdu.view(), reply); r < 0)
            return r;
        if (!AskedAgain(reply, apdu))
            break;
    }
    if (Fits(step, reply, cardAtr))
        return kFits;
    return reply.size() == 2 ? kRefused : kOther;
}

} // namespace

ProbeResult ProbeDialect(const Transmitter& transmit, std::span<const std::uint8_t> cardAtr,
                         const CardTypeControl& control) {
    std::vector<std::uint8_t> reply;
    for (const dialect::Probe& probe : dialect::kProbes) {
        std::int32_t r = Try(transmit, probe.first, cardAtr, reply);
        bool byControl = false;
        // Older readers whose driver selects the card take no selection APDU.
        if (r == kRefused && probe.names == dialect::Dialect::Memcard && control) {
            r = control();
            byControl = r == kFits;
        }
        if (r == kFits && probe.confirm.apdu.length > 0)
            r = Try(transmit, probe.confirm, cardAtr, reply);
        if (r < 0)
            return {r, {}};
        if (r == kFits)
            return {0, probe.names, byControl};
    }
    return {};
}

std::string NoDialectText(const std::string& readerName) {
    return "lecteur « " + readerName +
           " » : jeu de commandes inconnu, ni memcard, ni storage, ni iso ne répond à la carte ; "
           "choisissez --dialect";
}

} // namespace ostrel::reader::pcsc
