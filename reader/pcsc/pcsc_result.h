#pragma once

#include <PCSC/wintypes.h>
#include <cstdint>

namespace ostrel::reader::pcsc {

// The reader library's result for a PC/SC return code: 0 on success, else one of the negative
// results of the reader library. The only place that knows PC/SC error codes.
std::int32_t PcscResult(LONG rv);

} // namespace ostrel::reader::pcsc
