#pragma once

#include <array>
#include <cstdint>

// Fields of the card main memory. Multi-byte numbers are big-endian.
namespace ostrel::card::layout {

// Answer-to-reset header: every accepted card starts with these four bytes.
inline constexpr int kHeaderOffset = 0;
inline constexpr int kHeaderLength = 4;
inline constexpr std::array<std::uint8_t, 4> kSle4442Header = {0xA2, 0x13, 0x10, 0x91};

// Header byte, always written alone before any other field.
inline constexpr int kHeaderByte = 7;
inline constexpr std::uint8_t kHeaderByteValue = 0x15;

// Serial number, unsigned 32-bit big-endian; its third byte is the format marker.
inline constexpr int kSerialOffset = 13;
inline constexpr int kSerialLength = 4;
inline constexpr int kFormatMarker = 15;
inline constexpr std::uint8_t kFormatMarkerValue = 0x42; // 'B'

inline constexpr int kApplicationCode = 17;
inline constexpr std::uint8_t kOwnApplication = 1;

// Date of writing: day, month, year - 2000.
inline constexpr int kDayOffset = 18;
inline constexpr int kMonthOffset = 19;
inline constexpr int kYearOffset = 20;

// Unnamed byte rewritten as read with the range (13, 9).
inline constexpr int kUnnamedByte = 21;

// Manufacturer byte: selects the factory security code of a blank card.
inline constexpr int kSupplierByte = 25;

inline constexpr int kCardType = 44;

// Disposable cards.
inline constexpr int kDisposableKind = 64;
inline constexpr int kDisposableValue = 65;
inline constexpr std::uint8_t kKindToken = 0;
inline constexpr std::uint8_t kKindCredit = 1;

inline constexpr int kLastByte = 255;
inline constexpr std::uint8_t kLastByteFormatted = 0;

// Every writer copies the card's first fifty bytes into the write image first.
inline constexpr int kStagedPrefixLength = 50;

// Write ranges, in the order the writers send them.
struct Range {
    int start;
    int length;
};
inline constexpr Range kHeaderByteRange = {kHeaderByte, 1};
inline constexpr Range kIdentityRange = {kSerialOffset, 9}; // serial, application, date, byte 21
inline constexpr Range kLastByteRange = {kLastByte, 1};
inline constexpr Range kDisposableRange = {kDisposableKind, 2};
inline constexpr Range kRewriteRange = {32, 224}; // addresses 32..255

// Bytes 0..31 are guarded by the chip's protection bits.
inline constexpr int kProtectedLength = 32;

} // namespace ostrel::card::layout
