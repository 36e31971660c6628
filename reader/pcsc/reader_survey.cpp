#include "reader_survey.h"

#include "card_type_control.h"
#include "dialect_commands.h"
#include "dialect_probe.h"
#include "pcsc_result.h"

#include "base/hex.h"

#include <PCSC/winscard.h>
#include <algorithm>

namespace ostrel::reader::pcsc {

namespace {

// Data, four protection bytes an older driver may append, and the status word.
constexpr std::size_t kReplyCapacity = 256 + dialect::kProtectionLength + 2;

// "3B 04 A2 13 10 91"
std::string Hex(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0)
            text += ' ';
        const auto digits = base::HexDigits(bytes[i]);
        text.append(digits.begin(), digits.end());
    }
    return text;
}

// Connects to the card, probes it and resets it, as a session start and end would.
void Probe(SCARDCONTEXT context, ReaderSurvey& reader, std::span<const std::uint8_t> atr) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    LONG rv = SCardConnect(context, reader.name.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
    if (rv == SCARD_E_PROTO_MISMATCH) {
        rv = SCardConnect(context, reader.name.c_str(), SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW,
                          &card, &protocol);
    }
    if (rv != SCARD_S_SUCCESS) {
        reader.why = "carte inaccessible (erreur " + std::to_string(PcscResult(rv)) + ")";
        return;
    }
    const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T0   ? SCARD_PCI_T0
                                  : protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1
                                                                  : SCARD_PCI_RAW;
    const ProbeResult probed = ProbeDialect(
        [&](std::span<const std::uint8_t> apdu, std::vector<std::uint8_t>& reply) {
            reply.resize(kReplyCapacity);
            DWORD length = static_cast<DWORD>(reply.size());
            const std::int32_t r =
                PcscResult(SCardTransmit(card, pci, apdu.data(), static_cast<DWORD>(apdu.size()),
                                         nullptr, reply.data(), &length));
            reply.resize(r == 0 ? length : 0);
            return r;
        },
        CardAnswerToReset(atr),
        [&] {
            const std::int32_t r = SetCardTypeByControl(card, protocol);
            pci = protocol == SCARD_PROTOCOL_T0   ? SCARD_PCI_T0
                  : protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1
                                                  : SCARD_PCI_RAW;
            return r;
        });
    SCardDisconnect(card, SCARD_RESET_CARD);
    if (probed.result < 0)
        reader.why =
            "échange impossible avec la carte (erreur " + std::to_string(probed.result) + ")";
    else if (probed.dialect)
        reader.dialect = dialect::TableOf(*probed.dialect).name;
    else
        reader.why = "aucun jeu de commandes ne répond ; choisissez --dialect";
}

} // namespace

bool SurveyReaders(std::vector<ReaderSurvey>& readers, std::string& error) {
    readers.clear();
    SCARDCONTEXT context = 0;
    if (const LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
        rv != SCARD_S_SUCCESS) {
        error = "le service PC/SC ne répond pas (erreur " + std::to_string(PcscResult(rv)) + ")";
        return false;
    }
    DWORD length = 0;
    LONG rv = SCardListReaders(context, nullptr, nullptr, &length);
    std::vector<char> names(length + 1, '\0');
    if (rv == SCARD_S_SUCCESS)
        rv = SCardListReaders(context, nullptr, names.data(), &length);
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_NO_READERS_AVAILABLE) {
        error = "liste des lecteurs illisible (erreur " + std::to_string(PcscResult(rv)) + ")";
        SCardReleaseContext(context);
        return false;
    }
    for (std::size_t at = 0; rv == SCARD_S_SUCCESS && at < names.size() && names[at];) {
        ReaderSurvey reader;
        reader.name = &names[at];
        at += reader.name.size() + 1;
        SCARD_READERSTATE state{};
        state.szReader = reader.name.c_str();
        state.dwCurrentState = SCARD_STATE_UNAWARE;
        if (SCardGetStatusChange(context, 0, &state, 1) == SCARD_S_SUCCESS &&
            (state.dwEventState & SCARD_STATE_PRESENT)) {
            reader.cardInside = true;
            reader.atr = Hex(state.rgbAtr, state.cbAtr);
            Probe(context, reader,
                  {state.rgbAtr, std::min<std::size_t>(state.cbAtr, MAX_ATR_SIZE)});
        }
        readers.push_back(std::move(reader));
    }
    SCardReleaseContext(context);
    return true;
}

} // namespace ostrel::reader::pcsc
