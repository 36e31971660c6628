#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The command sets ("dialects") in which card readers offer the SLE4442 through plain APDUs.
// Each dialect is one table: the commands it knows and the shapes of its replies. The PC/SC
// client and the virtual card of the vpcd reader both read these tables, so a fact about a
// reader is written once.
namespace ostrel::reader::dialect {

enum class Dialect { Memcard, Storage, Iso };

// Status words.
inline constexpr std::uint16_t kSwOk = 0x9000;
inline constexpr std::uint16_t kSwNotKept = 0x6200;       // a byte the chip did not keep
inline constexpr std::uint16_t kSwEndReached = 0x6282;    // fewer bytes than asked: the end
inline constexpr std::uint16_t kSwAttemptsLeft = 0x63C0;  // low nibble: attempts left
inline constexpr std::uint16_t kSwMemoryFailure = 0x6581; // protected byte, failed save
inline constexpr std::uint16_t kSwWrongLength = 0x6700;
inline constexpr std::uint16_t kSwNotPresented = 0x6982;  // code not presented
inline constexpr std::uint16_t kSwBlocked = 0x6983;       // no attempt left
inline constexpr std::uint16_t kSwNoCurrentFile = 0x6986; // nothing selected yet
inline constexpr std::uint16_t kSwWrongData = 0x6A80;
inline constexpr std::uint16_t kSwFunctionUnsupported = 0x6A81;
inline constexpr std::uint16_t kSwFileNotFound = 0x6A82;
inline constexpr std::uint16_t kSwWrongAddress = 0x6B00;
inline constexpr std::uint16_t kSwInsUnsupported = 0x6D00;
inline constexpr std::uint16_t kSwClassUnsupported = 0x6E00;

inline constexpr std::size_t kHeaderLength = 5; // CLA INS P1 P2 and one length byte
inline constexpr int kCodeLength = 3;           // bytes of the security code
inline constexpr int kCounterReplyLength = 4;   // error counter and three code bytes
inline constexpr int kProtectionLength = 4;     // protection bits of bytes 0..31

// CLA INS P1 P2 of a command; a command the dialect lacks has ins 0.
struct Command {
    std::uint8_t cla = 0;
    std::uint8_t ins = 0;
    std::uint8_t p1 = 0;
    std::uint8_t p2 = 0;
    constexpr bool exists() const { return ins != 0; }
};

// An APDU sent as a whole, with no data of ours in it.
struct FixedApdu {
    std::array<std::uint8_t, 8> bytes{};
    std::size_t length = 0;
};

// How a reader answers a code presentation.
enum class CodeReply {
    CounterInSw2,     // 90 EC: the error counter itself (older drivers: EC c1 c2 c3 90 00)
    AttemptsInStatus, // 90 00 accepted, 63 Cx refused with x attempts left, 69 83 blocked
};

struct Table {
    std::string_view name;
    Dialect dialect;
    // Sent after connecting to the card, answered 90 00; length 0: nothing is sent.
    FixedApdu sessionStart;
    // Whether sessionStart power-cycles the card (the code must be presented again).
    bool sessionStartPowerCycles;
    Command read;           // P1 P2: address high and low, Le: bytes wanted
    Command write;          // P1 P2: address, Lc: bytes, then the data
    Command presentCode;    // Lc 03, the code least significant byte first
    Command changeCode;     // memcard: Lc 03 new code; the others: Lc 06 old and new code
    Command readCounter;    // Le 04: counter and three code bytes
    Command readProtection; // Le 04: protection bits of bytes 0..31
    Command writeProtection;
    CodeReply codeReply;
    // A read length byte of 00: true, up to the end of memory; false, 256 bytes.
    bool leZeroReadsToEnd;
    // Refusals: 0 where the reader passes the command on and the chip ignores it silently.
    std::uint16_t swNotPresented; // a write before the code was accepted
    std::uint16_t swNotKept;      // a write to a protected byte
    std::uint16_t swReadPastEnd;  // 6B 00, or 62 82 with the bytes up to the end
    // Older drivers of the memcard readers: the four protection bytes after read data, and
    // EC c1 c2 c3 90 00 to a presentation. Accepted from the reader, never emulated.
    bool acceptsOlderShapes;
    // Whether reads and writes need the session start first (the selected file).
    bool needsSessionStart;
};

inline constexpr std::uint8_t kClassReader = 0xFF;
inline constexpr std::uint8_t kClassIso = 0x00;
inline constexpr std::uint8_t kCardTypeSle4442Family = 0x06;
// Older non-CCID memcard readers take the card type from their driver instead, through a
// control of the reader (SCardControl) with this code and this value, in a DWORD; the driver
// then selects the card itself at each power-up.
inline constexpr unsigned long kSetCardTypeFunction = 2060; // SCARD_CTL_CODE(2060)
inline constexpr unsigned long kDriverCardTypeSle4442 = 18;
inline constexpr std::uint8_t kMasterFile[] = {0x3F, 0x00};

// What readers report as ATR for an SLE4442: this prefix, then the card's bytes 0..3.
inline constexpr std::uint8_t kAtrPrefix[] = {0x3B, 0x04};
inline constexpr std::size_t kCardAtrLength = 4;

// The memory-card commands of common USB (CCID) readers for the SLE4432/4442/5542 family.
inline constexpr Table kMemcard{
    .name = "memcard",
    .dialect = Dialect::Memcard,
    .sessionStart = {{kClassReader, 0xA4, 0x00, 0x00, 0x01, kCardTypeSle4442Family}, 6},
    .sessionStartPowerCycles = true,
    .read = {kClassReader, 0xB0},
    .write = {kClassReader, 0xD0},
    .presentCode = {kClassReader, 0x20},
    .changeCode = {kClassReader, 0xD2, 0x00, 0x01},
    .readCounter = {kClassReader, 0xB1},
    .readProtection = {kClassReader, 0xB2},
    .writeProtection = {kClassReader, 0xD1},
    .codeReply = CodeReply::CounterInSw2,
    .leZeroReadsToEnd = false,
    .swNotPresented = 0,
    .swNotKept = 0,
    .swReadPastEnd = kSwWrongAddress,
    .acceptsOlderShapes = true,
    .needsSessionStart = false,
};

// The PC/SC storage-card commands: no card-type selection, no error-counter command.
inline constexpr Table kStorage{
    .name = "storage",
    .dialect = Dialect::Storage,
    .sessionStart = {},
    .sessionStartPowerCycles = false,
    .read = {kClassReader, 0xB0},
    .write = {kClassReader, 0xD6},
    .presentCode = {kClassReader, 0x20},
    .changeCode = {kClassReader, 0x21},
    .readCounter = {},
    .readProtection = {},
    .writeProtection = {},
    .codeReply = CodeReply::AttemptsInStatus,
    .leZeroReadsToEnd = true,
    .swNotPresented = kSwNotPresented,
    .swNotKept = kSwMemoryFailure,
    .swReadPastEnd = kSwWrongAddress,
    .acceptsOlderShapes = false,
    .needsSessionStart = false,
};

// The ISO 7816-4 mapping of memory cards: class 00, the memory as the master file's content.
inline constexpr Table kIso{
    .name = "iso",
    .dialect = Dialect::Iso,
    .sessionStart = {{kClassIso, 0xA4, 0x00, 0x00, 0x02, kMasterFile[0], kMasterFile[1]}, 7},
    .sessionStartPowerCycles = true,
    .read = {kClassIso, 0xB0},
    .write = {kClassIso, 0xD6},
    .presentCode = {kClassIso, 0x20},
    .changeCode = {kClassIso, 0x24},
    .readCounter = {},
    .readProtection = {},
    .writeProtection = {},
    .codeReply = CodeReply::AttemptsInStatus,
    .leZeroReadsToEnd = true,
    .swNotPresented = kSwNotPresented,
    .swNotKept = kSwNotKept,
    .swReadPastEnd = kSwEndReached,
    .acceptsOlderShapes = false,
    .needsSessionStart = true,
};

inline constexpr const Table* kTables[] = {&kMemcard, &kStorage, &kIso};

constexpr const Table& TableOf(Dialect dialect) {
    switch (dialect) {
    case Dialect::Storage:
        return kStorage;
    case Dialect::Iso:
        return kIso;
    case Dialect::Memcard:
        break;
    }
    return kMemcard;
}

constexpr std::optional<Dialect> DialectNamed(std::string_view name) {
    for (const Table* table : kTables) {
        if (table->name == name)
            return table->dialect;
    }
    return std::nullopt;
}

// The probes that tell the dialects apart without presenting a code or writing, in the order
// they are sent: the memcard card-type selection, confirmed by a read of the error counter (a
// storage reader that took the selection has no such command), the class-00 select of the
// master file, a read of the first four bytes. The first probe answered 90 00, with the data
// bytes expected, names the dialect; a probe that is a dialect's session start, or follows it
// with a read, leaves the card as that session start does. A reader that refuses a probe's
// length is asked again with the length it wants (6C xx; Le 00 after 67 00).
struct ProbeStep {
    FixedApdu apdu;
    std::size_t dataLength;   // bytes before the 90 00 of a fitting reply
    bool orCardBytes = false; // older firmware: the card's four ATR bytes, then 90 00, also fit
};
struct Probe {
    ProbeStep first;
    ProbeStep confirm; // apdu.length 0: none
    Dialect names;
};
inline constexpr Probe kProbes[] = {
    {{kMemcard.sessionStart, 0, true},
     {{{kClassReader, 0xB1, 0x00, 0x00, kCounterReplyLength}, 5}, kCounterReplyLength},
     Dialect::Memcard},
    {{kIso.sessionStart, 0}, {}, Dialect::Iso},
    {{{{kClassReader, 0xB0, 0x00, 0x00, kCardAtrLength}, 5}, kCardAtrLength}, {}, Dialect::Storage},
};

// How readers of one command set differ in the shapes of their replies, as their manuals
// describe them. The PC/SC client accepts every shape; the virtual card of the vpcd reader
// answers in the one named, so that the client is tried on each.
enum class Variant {
    Plain,
    // memcard, older non-CCID firmware: the selection answered with the card's four ATR bytes
    // before 90 00, reads with the four protection bytes after the data, a code presentation
    // answered EC c1 c2 c3 90 00, the error counter read with Le 00 only (Le 04: 67 00).
    // iso, drivers that answer an unknown instruction 6E 00 (and a byte not kept 62 00).
    Older,
    // Replies of at most kCappedLength data bytes, a longer read answered in the set's shape:
    // memcard, the first bytes and 90 00; storage, 6C 40 (ask 64); iso, the first bytes and 62 82.
    Capped,
    // A faulty reader: every memory write acknowledged as the set acknowledges a kept one, and
    // every second one dropped (the first, third… kept); only reading the card back tells.
    DropsWrites,
};
inline constexpr std::size_t kCappedLength = 64;
inline constexpr std::uint16_t kSwAskLength = 0x6C00; // low byte: the length to ask

struct VariantName {
    std::string_view name;
    Variant variant;
};
inline constexpr VariantName kVariants[] = {{"plain", Variant::Plain},
                                            {"older", Variant::Older},
                                            {"capped", Variant::Capped},
                                            {"drops-writes", Variant::DropsWrites}};

constexpr bool VariantExists(Dialect dialect, Variant variant) {
    return variant != Variant::Older || dialect != Dialect::Storage;
}

constexpr std::optional<Variant> VariantNamed(std::string_view name) {
    for (const VariantName& known : kVariants) {
        if (known.name == name)
            return known.variant;
    }
    return std::nullopt;
}

constexpr std::string_view NameOf(Variant variant) {
    for (const VariantName& known : kVariants) {
        if (known.variant == variant)
            return known.name;
    }
    return {};
}

// Code replies of the AttemptsInStatus dialects, as the chip's error counter: one set bit per
// attempt left, 7 after an accepted code.
constexpr std::uint8_t CounterForAttempts(int attempts) {
    return attempts >= 3 ? 0x07 : attempts == 2 ? 0x03 : attempts == 1 ? 0x01 : 0x00;
}

} // namespace ostrel::reader::dialect
