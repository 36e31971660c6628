#pragma once

#include <PCSC/winscard.h>
#include <cstdint>

namespace ostrel::reader::pcsc {

// Gives an older memory-card reader the SLE4442 card type through its driver (SCardControl),
// then powers the card up again, as the driver selects the card type at power-up. protocol
// receives the protocol of the new connection. 0 when done, 1 when the reader refuses the
// control (other readers do not know it), or a failed call's negative result.
std::int32_t SetCardTypeByControl(SCARDHANDLE card, DWORD& protocol);

} // namespace ostrel::reader::pcsc
