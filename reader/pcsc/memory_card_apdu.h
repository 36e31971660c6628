#pragma once

#include <cstdint>

namespace ostrel::reader::apdu {

// The memory-card commands that USB readers offer for the SLE4432/4442/5542 family, on the
// reader's own class byte. Both the PC/SC reader and the virtual card speak them.
inline constexpr std::uint8_t kClassReader = 0xFF;

inline constexpr std::uint8_t kInsSelectCardType = 0xA4;
inline constexpr std::uint8_t kInsReadMemory = 0xB0;
inline constexpr std::uint8_t kInsReadErrorCounter = 0xB1;
inline constexpr std::uint8_t kInsReadProtectionBits = 0xB2;
inline constexpr std::uint8_t kInsWriteMemory = 0xD0;
inline constexpr std::uint8_t kInsPresentCode = 0x20;

// Data byte of the card-type selection naming the SLE4432/4442/5542 family.
inline constexpr std::uint8_t kCardTypeSle4442Family = 0x06;

inline constexpr int kHeaderLength = 5;       // CLA INS P1 P2 and one length byte
inline constexpr int kCodeLength = 3;         // bytes of the security code
inline constexpr int kCounterReplyLength = 4; // error counter and three code bytes
inline constexpr int kProtectionLength = 4;   // protection bits of bytes 0..31

// Status words.
inline constexpr std::uint8_t kSw1Ok = 0x90;
inline constexpr std::uint8_t kSw2Ok = 0x00;
inline constexpr std::uint16_t kSwOk = 0x9000;
inline constexpr std::uint16_t kSwWrongLength = 0x6700;
inline constexpr std::uint16_t kSwWrongData = 0x6A80;
inline constexpr std::uint16_t kSwWrongAddress = 0x6B00;
inline constexpr std::uint16_t kSwInsNotSupported = 0x6D00;
inline constexpr std::uint16_t kSwClassNotSupported = 0x6E00;
inline constexpr std::uint16_t kSwMemoryFailure = 0x6581;

// The ATR such readers report for an SLE4442: this prefix, then the card's bytes 0..3.
inline constexpr std::uint8_t kAtrPrefix[] = {0x3B, 0x04};
inline constexpr int kCardAtrLength = 4;

} // namespace ostrel::reader::apdu
