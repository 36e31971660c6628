#include "card_type_control.h"

#include "pcsc_result.h"
#include "reader/reader_dialects.h"
#include "reader/reader_library.h"

#include <PCSC/reader.h>

namespace ostrel::reader::pcsc {

std::int32_t SetCardTypeByControl(SCARDHANDLE card, DWORD& protocol) {
    const DWORD type = dialect::kDriverCardTypeSle4442;
    std::uint8_t out[16];
    DWORD returned = 0;
    const LONG rv = SCardControl(card, SCARD_CTL_CODE(dialect::kSetCardTypeFunction), &type,
                                 sizeof type, out, sizeof out, &returned);
    if (rv != SCARD_S_SUCCESS) {
        const std::int32_t r = PcscResult(rv);
        return r == kErrTransmission ? 1 : r;
    }
    LONG again = SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                                SCARD_UNPOWER_CARD, &protocol);
    // A reader that reports only the card's own bytes as ATR connects only raw.
    if (again == SCARD_E_PROTO_MISMATCH) {
        again = SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW, SCARD_UNPOWER_CARD,
                               &protocol);
    }
    return PcscResult(again);
}

} // namespace ostrel::reader::pcsc
