#pragma once

#include <cstdint>
#include <string>

namespace ostrel::des {

// Error numbers of the DES class; the size-descriptor one is part of the buffer format's contract.
inline constexpr std::uint32_t kErrorSizeDescriptor = 0x80040000;
inline constexpr std::uint32_t kErrorCipherLength = 0x80040001;
inline constexpr std::uint32_t kErrorHexText = 0x80040002;
inline constexpr std::uint32_t kErrorPlainTooLarge = 0x80040003;
inline constexpr std::uint32_t kErrorRandomSource = 0x80040004;

// Outcome of a DES operation: number 0 means success.
struct DesStatus {
    std::uint32_t number = 0;
    std::string description;

    bool ok() const { return number == 0; }
    explicit operator bool() const { return ok(); }
};

} // namespace ostrel::des
