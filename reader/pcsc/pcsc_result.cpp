#include "pcsc_result.h"

#include "reader/reader_library.h"

#include <PCSC/pcsclite.h>

namespace ostrel::reader::pcsc {

std::int32_t PcscResult(LONG rv) {
    switch (rv) {
    case SCARD_S_SUCCESS:
        return 0;
    // The service or the reader is gone: the caller must open the reader again.
    case SCARD_E_NO_SERVICE:
    case SCARD_E_SERVICE_STOPPED:
    case SCARD_F_COMM_ERROR:
    case SCARD_E_NO_READERS_AVAILABLE:
    case SCARD_E_UNKNOWN_READER:
    case SCARD_E_READER_UNAVAILABLE:
    case SCARD_E_INVALID_HANDLE:
        return kErrNoReader;
    case SCARD_E_NO_SMARTCARD:
        return kErrNoCard;
    case SCARD_W_REMOVED_CARD:
        return kErrCardRemoved;
    // Card pulled before pcscd noticed, a mute card, a protocol the card does not speak,
    // another program holding the card: this exchange failed, the reader is still there.
    default:
        return kErrTransmission;
    }
}

} // namespace ostrel::reader::pcsc
