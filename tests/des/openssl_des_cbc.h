#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ostrel::des::test {

// OpenSSL's DES-CBC with a zero initial vector and no padding, as the reference cipher. The key
// is the first 8 bytes of keyText, missing bytes zero, like clsDES::Key.
std::vector<std::uint8_t> OpenSslDesCbc(std::string_view keyText, std::vector<std::uint8_t> data,
                                        bool encrypt);

} // namespace ostrel::des::test
