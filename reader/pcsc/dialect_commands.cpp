#include "dialect_commands.h"

#include "card/card_memory.h"

#include <algorithm>

namespace ostrel::reader::pcsc {

namespace {

using dialect::CodeReply;
using dialect::Table;

constexpr std::size_t kStatusLength = 2;
constexpr std::uint8_t kCounterBits = 0x07;

bool RangeFits(int address, std::int32_t length) {
    return length >= 0 && address + length <= static_cast<int>(card::kCardSize);
}

void Header(Apdu& apdu, const dialect::Command& command, int address, std::uint8_t length) {
    apdu.bytes[0] = command.cla;
    apdu.bytes[1] = command.ins;
    // Addresses go in P1 P2; the 256 bytes of an SLE4442 leave P1 at the command's own value.
    apdu.bytes[2] = static_cast<std::uint8_t>(command.p1 | (address >> 8));
    apdu.bytes[3] = static_cast<std::uint8_t>(command.p2 | (address & 0xFF));
    apdu.bytes[4] = length;
    apdu.length = dialect::kHeaderLength;
}

void Append(Apdu& apdu, const std::uint8_t* data, std::int32_t length) {
    std::copy_n(data, length, apdu.bytes.begin() + static_cast<std::ptrdiff_t>(apdu.length));
    apdu.length += static_cast<std::size_t>(length);
}

std::uint16_t StatusWord(std::span<const std::uint8_t> reply) {
    return static_cast<std::uint16_t>(reply[reply.size() - 2] << 8 | reply[reply.size() - 1]);
}

bool EndsWith(std::span<const std::uint8_t> reply, std::uint16_t sw) {
    return reply.size() >= kStatusLength && StatusWord(reply) == sw;
}

// A reply that is a lone status word other than success: the reader refused the command.
std::int32_t Refused(std::span<const std::uint8_t> reply) {
    return reply.size() == kStatusLength && !EndsWith(reply, dialect::kSwOk) ? kErrBadCommand
                                                                             : kErrTransmission;
}

// Data out gets the error counter first, as the chip holds it, then zeros or the reply's
// remaining bytes.
void PutCounter(CommandRecord& command, std::uint8_t counter, std::span<const std::uint8_t> rest) {
    std::fill_n(command.dataOut, command.le, 0);
    command.dataOut[0] = counter & kCounterBits;
    const std::size_t more = std::min(rest.size(), static_cast<std::size_t>(command.le - 1));
    std::copy_n(rest.begin(), more, command.dataOut + 1);
}

// memcard: "90 EC" from current readers; "EC c1 c2 c3 90 00" from older drivers.
std::int32_t CounterInSw2(const Table& table, CommandRecord& command,
                          std::span<const std::uint8_t> reply) {
    if (reply.size() == kStatusLength && reply[0] == dialect::kSwOk >> 8) {
        PutCounter(command, reply[1], {});
        return 0;
    }
    if (table.acceptsOlderShapes && reply.size() == dialect::kCounterReplyLength + kStatusLength &&
        EndsWith(reply, dialect::kSwOk)) {
        PutCounter(command, reply[0], {});
        return 0;
    }
    return Refused(reply);
}

// storage and iso: "90 00" accepted, "63 Cx" refused with x attempts left, "69 83" blocked.
// An SLE4442 has at most two attempts left after a refusal: more is no reply of such a chip.
std::int32_t AttemptsInStatus(CommandRecord& command, std::span<const std::uint8_t> reply) {
    if (reply.size() != kStatusLength)
        return kErrTransmission;
    const std::uint16_t sw = StatusWord(reply);
    if (sw == dialect::kSwOk || sw == dialect::kSwBlocked) {
        PutCounter(command, dialect::CounterForAttempts(sw == dialect::kSwOk ? 3 : 0), {});
        return 0;
    }
    if ((sw & 0xFFF0) == dialect::kSwAttemptsLeft) {
        const int left = sw & 0x0F;
        if (left > 2)
            return kErrTransmission;
        PutCounter(command, dialect::CounterForAttempts(left), {});
        return 0;
    }
    return kErrBadCommand;
}

std::int32_t ErrorCounterReply(CommandRecord& command, std::span<const std::uint8_t> reply) {
    if (!EndsWith(reply, dialect::kSwOk))
        return Refused(reply);
    if (reply.size() != dialect::kCounterReplyLength + kStatusLength)
        return kErrTransmission;
    PutCounter(command, reply[0], reply.subspan(1, dialect::kCounterReplyLength - 1));
    return 0;
}

} // namespace

Apdu FixedCommand(const dialect::FixedApdu& fixed) {
    Apdu apdu;
    std::copy_n(fixed.bytes.begin(), fixed.length, apdu.bytes.begin());
    apdu.length = fixed.length;
    return apdu;
}

std::int32_t BuildRead(const Table& table, int address, int length, Apdu& apdu) {
    apdu.length = 0;
    if (address < 0 || length < 1 || length > 256 || !RangeFits(address, length))
        return kErrBadCommand;
    // A length byte of 00 asks for 256 bytes, or for the rest of memory: both the whole
    // memory, as 256 bytes fit only from address 0.
    Header(apdu, table.read, address, static_cast<std::uint8_t>(length & 0xFF));
    return 0;
}

std::int32_t BuildApdu(const Table& table, const CommandRecord& command, Apdu& apdu) {
    apdu.length = 0;
    if (command.cla != 0)
        return kErrBadCommand;
    switch (command.ins) {
    case kInsWriteMemory:
        if (!RangeFits(command.p2, command.lc) || command.lc > 255)
            return kErrBadCommand;
        if (command.lc > 0) {
            Header(apdu, table.write, command.p2, static_cast<std::uint8_t>(command.lc));
            Append(apdu, command.dataIn, command.lc);
        }
        return 0;
    case kInsPresentCode:
        if (command.lc != dialect::kCodeLength || command.le < 1 || command.le > 4)
            return kErrBadCommand;
        Header(apdu, table.presentCode, 0, dialect::kCodeLength);
        Append(apdu, command.dataIn, dialect::kCodeLength);
        return 0;
    case kInsReadErrorCounter:
        if (command.le < 1 || command.le > 4)
            return kErrBadCommand;
        if (table.readCounter.exists())
            Header(apdu, table.readCounter, 0, dialect::kCounterReplyLength);
        return 0;
    case kInsReadProtectionBits:
        if (command.le != dialect::kProtectionLength)
            return kErrBadCommand;
        if (table.readProtection.exists())
            Header(apdu, table.readProtection, 0, dialect::kProtectionLength);
        return 0;
    default:
        return kErrBadCommand;
    }
}

std::int32_t ReadDataReply(const Table& table, std::span<const std::uint8_t> reply,
                           std::size_t wanted, std::uint8_t* out, std::size_t& got) {
    got = 0;
    // Readers of either status-word dialect may end a read that reached the end of memory with
    // 62 82 and the bytes up to there.
    const bool ended =
        table.codeReply == CodeReply::AttemptsInStatus && EndsWith(reply, dialect::kSwEndReached);
    if (!EndsWith(reply, dialect::kSwOk) && !ended)
        return Refused(reply);
    std::size_t data = reply.size() - kStatusLength;
    // Older memcard drivers append the four protection bytes to every read.
    if (table.acceptsOlderShapes && data == wanted + dialect::kProtectionLength)
        data = wanted;
    // Some readers return fewer bytes than asked; the caller reads on from there.
    if (data == 0 || data > wanted)
        return kErrTransmission;
    std::copy_n(reply.begin(), data, out);
    got = data;
    return 0;
}

std::int32_t ReadReply(const Table& table, CommandRecord& command,
                       std::span<const std::uint8_t> reply) {
    switch (command.ins) {
    case kInsWriteMemory:
        return reply.size() == kStatusLength && EndsWith(reply, dialect::kSwOk) ? 0
                                                                                : Refused(reply);
    case kInsPresentCode:
        return table.codeReply == CodeReply::CounterInSw2 ? CounterInSw2(table, command, reply)
                                                          : AttemptsInStatus(command, reply);
    case kInsReadErrorCounter:
        return ErrorCounterReply(command, reply);
    case kInsReadProtectionBits:
        if (!EndsWith(reply, dialect::kSwOk))
            return Refused(reply);
        if (reply.size() != dialect::kProtectionLength + kStatusLength)
            return kErrTransmission;
        std::copy_n(reply.begin(), dialect::kProtectionLength, command.dataOut);
        return 0;
    default:
        return kErrBadCommand;
    }
}

bool IsOk(std::span<const std::uint8_t> reply) {
    return reply.size() == kStatusLength && EndsWith(reply, dialect::kSwOk);
}

bool SessionStarted(const Table& table, std::span<const std::uint8_t> reply,
                    std::span<const std::uint8_t> cardAtr) {
    if (IsOk(reply))
        return true;
    return table.acceptsOlderShapes && cardAtr.size() == dialect::kCardAtrLength &&
           reply.size() == dialect::kCardAtrLength + kStatusLength &&
           EndsWith(reply, dialect::kSwOk) &&
           std::equal(cardAtr.begin(), cardAtr.end(), reply.begin());
}

int ShorterRead(std::span<const std::uint8_t> reply, int wanted) {
    // The reads of 16 bytes that every reader of the three sets answers.
    constexpr int kShortest = 16;
    if (reply.size() != kStatusLength)
        return 0;
    if ((StatusWord(reply) & 0xFF00) == dialect::kSwAskLength && reply[1] > 0 && reply[1] < wanted)
        return reply[1];
    // 67 00, another refusal, or 90 00 without data: a reader whose Le 00 is not 256 bytes.
    return wanted > kShortest ? std::max(kShortest, wanted / 2) : 0;
}

bool AskedAgain(std::span<const std::uint8_t> reply, Apdu& apdu) {
    if (reply.size() != kStatusLength || apdu.length != dialect::kHeaderLength)
        return false;
    std::uint8_t& le = apdu.bytes[dialect::kHeaderLength - 1];
    std::uint8_t asked = le;
    if (StatusWord(reply) == dialect::kSwWrongLength)
        asked = 0x00;
    else if ((StatusWord(reply) & 0xFF00) == dialect::kSwAskLength)
        asked = reply[1];
    if (asked == le)
        return false;
    le = asked;
    return true;
}

std::span<const std::uint8_t> CardAnswerToReset(std::span<const std::uint8_t> atr) {
    constexpr std::size_t kPrefix = std::size(dialect::kAtrPrefix);
    if (atr.size() == kPrefix + dialect::kCardAtrLength &&
        std::equal(std::begin(dialect::kAtrPrefix), std::end(dialect::kAtrPrefix), atr.begin())) {
        return atr.subspan(kPrefix);
    }
    return atr;
}

} // namespace ostrel::reader::pcsc
