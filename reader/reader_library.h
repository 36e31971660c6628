#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace ostrel::reader {

static_assert(std::endian::native == std::endian::little,
              "the reader records hold little-endian integers in native layout");

// Command record of ExchangeAPDU.
struct CommandRecord {
    std::uint8_t cla = 0;
    std::uint8_t ins = 0;
    std::uint8_t p1 = 0;
    std::uint8_t p2 = 0;
    std::int32_t lc = 0; // bytes sent
    std::int32_t le = 0; // bytes expected
    std::uint8_t dataIn[256] = {};
    std::uint8_t dataOut[256] = {};
    std::int32_t status = 0;
};
static_assert(sizeof(CommandRecord) == 528);
static_assert(offsetof(CommandRecord, lc) == 4 && offsetof(CommandRecord, le) == 8);
static_assert(offsetof(CommandRecord, dataIn) == 12 && offsetof(CommandRecord, dataOut) == 268);
static_assert(offsetof(CommandRecord, status) == 524);

// Session record of StartSession.
struct SessionRecord {
    std::uint8_t cardType = 0;
    std::uint8_t reserved1[2] = {};
    char atr[256] = {};
    std::uint8_t historicalOffset = 0;
    std::uint8_t historicalLength = 0;
    std::uint8_t reserved2[3] = {};
    std::int32_t atrLength = 0;
};
static_assert(sizeof(SessionRecord) == 268);
static_assert(offsetof(SessionRecord, atr) == 3 &&
              offsetof(SessionRecord, historicalOffset) == 259);
static_assert(offsetof(SessionRecord, historicalLength) == 260);
static_assert(offsetof(SessionRecord, atrLength) == 264);

// Information record of GetInfo.
struct InfoRecord {
    std::uint8_t head[14] = {}; // byte 12: card status, nonzero while a card is in the reader
    char readerName[256] = {};
    std::uint8_t reserved[2] = {};
    std::int32_t value1 = 0;
    std::int32_t value2 = 0;

    bool cardPresent() const { return head[kCardStatusByte] != 0; }
    static constexpr int kCardStatusByte = 12;
};
static_assert(sizeof(InfoRecord) == 280);
static_assert(offsetof(InfoRecord, readerName) == 14 && offsetof(InfoRecord, value1) == 272);
static_assert(offsetof(InfoRecord, value2) == 276);

// Commands carried by ExchangeAPDU (class 0).
inline constexpr std::uint8_t kInsReadMemory = 0x01;
inline constexpr std::uint8_t kInsWriteMemory = 0x02;
inline constexpr std::uint8_t kInsReadErrorCounter = 0x03;
inline constexpr std::uint8_t kInsPresentCode = 0x04;
inline constexpr std::uint8_t kInsReadProtectionBits = 0x05; // Le 4: bytes 0..31, 1 = writable

// P1 of a read of the error counter: the counter as read from the card now. A reader whose
// command set cannot read it (it only learns it from code presentations) answers
// kErrNotSupported instead of what it remembers.
inline constexpr std::uint8_t kCounterFromCard = 0x01;

inline constexpr std::uint8_t kCardTypeSle4442 = 10;
inline constexpr std::int32_t kReaderTypeAny = 255;
inline constexpr std::int32_t kReaderPortAny = 15;

// Negative results of the reader library.
inline constexpr std::int32_t kErrNoReader = -100;
inline constexpr std::int32_t kErrNoCard = -101;
inline constexpr std::int32_t kErrNoSession = -102;
inline constexpr std::int32_t kErrBadCommand = -103;
inline constexpr std::int32_t kErrTransmission = -104;
inline constexpr std::int32_t kErrCardRemoved = -105;
inline constexpr std::int32_t kErrNotSupported =
    -106; // the reader's command set has no such command
inline constexpr std::int32_t kErrCardLocked = -1013;

// The six calls of a reader library. Every result is negative on failure.
class ReaderLibrary {
public:
    virtual ~ReaderLibrary() = default;
    virtual std::int32_t Open(std::int32_t readerType, std::int32_t port) = 0;
    virtual std::int32_t Close(std::int32_t handle) = 0;
    virtual std::int32_t GetInfo(std::int32_t handle, InfoRecord& info) = 0;
    virtual std::int32_t StartSession(std::int32_t handle, SessionRecord& session) = 0;
    virtual std::int32_t EndSession(std::int32_t handle) = 0;
    virtual std::int32_t ExchangeAPDU(std::int32_t handle, CommandRecord& command) = 0;
};

} // namespace ostrel::reader
