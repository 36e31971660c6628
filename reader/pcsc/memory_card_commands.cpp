#include "memory_card_commands.h"

#include "card/card_memory.h"

#include <algorithm>

namespace ostrel::reader::pcsc {

namespace {

constexpr std::size_t kStatusLength = 2;
constexpr std::uint8_t kCounterBits = 0x07;

bool RangeFits(int address, std::int32_t length) {
    return length >= 0 && address + length <= static_cast<int>(card::kCardSize);
}

void Header(Apdu& apdu, std::uint8_t ins, std::uint8_t p2, std::uint8_t length) {
    apdu.bytes[0] = apdu::kClassReader;
    apdu.bytes[1] = ins;
    apdu.bytes[2] = 0;
    apdu.bytes[3] = p2;
    apdu.bytes[4] = length;
    apdu.length = apdu::kHeaderLength;
}

bool EndsOk(std::span<const std::uint8_t> reply) {
    return reply.size() >= kStatusLength && reply[reply.size() - 2] == apdu::kSw1Ok &&
           reply[reply.size() - 1] == apdu::kSw2Ok;
}

// A reply that is a lone status word other than success: the reader refused the command.
std::int32_t Refused(std::span<const std::uint8_t> reply) {
    return reply.size() == kStatusLength && !EndsOk(reply) ? kErrBadCommand : kErrTransmission;
}

// Data out gets the error counter first, as the chip reports it, then zeros or the reply's
// remaining bytes.
void PutCounter(CommandRecord& command, std::uint8_t counter, std::span<const std::uint8_t> rest) {
    std::fill_n(command.dataOut, command.le, 0);
    command.dataOut[0] = counter & kCounterBits;
    const std::size_t more = std::min(rest.size(), static_cast<std::size_t>(command.le - 1));
    std::copy_n(rest.begin(), more, command.dataOut + 1);
}

std::int32_t ReadMemoryReply(CommandRecord& command, std::span<const std::uint8_t> reply) {
    if (!EndsOk(reply))
        return Refused(reply);
    const std::size_t data = reply.size() - kStatusLength;
    const auto wanted = static_cast<std::size_t>(command.le);
    // Older drivers append the four protection bytes to every read.
    if (data != wanted && data != wanted + apdu::kProtectionLength)
        return kErrTransmission;
    std::copy_n(reply.begin(), wanted, command.dataOut);
    return 0;
}

// "90 EC" from current readers; "EC c1 c2 c3 90 00" from older drivers.
std::int32_t PresentCodeReply(CommandRecord& command, std::span<const std::uint8_t> reply) {
    if (reply.size() == kStatusLength && reply[0] == apdu::kSw1Ok) {
        PutCounter(command, reply[1], {});
        return 0;
    }
    if (reply.size() == apdu::kCounterReplyLength + kStatusLength && EndsOk(reply)) {
        PutCounter(command, reply[0], {});
        return 0;
    }
    return Refused(reply);
}

std::int32_t ErrorCounterReply(CommandRecord& command, std::span<const std::uint8_t> reply) {
    if (!EndsOk(reply))
        return Refused(reply);
    if (reply.size() != apdu::kCounterReplyLength + kStatusLength)
        return kErrTransmission;
    PutCounter(command, reply[0], reply.subspan(1, apdu::kCounterReplyLength - 1));
    return 0;
}

} // namespace

std::int32_t BuildApdu(const CommandRecord& command, Apdu& apdu) {
    apdu.length = 0;
    if (command.cla != 0)
        return kErrBadCommand;
    switch (command.ins) {
    case kInsReadMemory:
        if (!RangeFits(command.p2, command.le))
            return kErrBadCommand;
        // A length byte of 00 asks for 256 bytes.
        if (command.le > 0)
            Header(apdu, apdu::kInsReadMemory, command.p2,
                   static_cast<std::uint8_t>(command.le & 0xFF));
        return 0;
    case kInsWriteMemory:
        if (!RangeFits(command.p2, command.lc) || command.lc > 255)
            return kErrBadCommand;
        if (command.lc > 0) {
            Header(apdu, apdu::kInsWriteMemory, command.p2, static_cast<std::uint8_t>(command.lc));
            std::copy_n(command.dataIn, command.lc, apdu.bytes.begin() + apdu::kHeaderLength);
            apdu.length += static_cast<std::size_t>(command.lc);
        }
        return 0;
    case kInsPresentCode:
        if (command.lc != apdu::kCodeLength || command.le < 1 || command.le > 4)
            return kErrBadCommand;
        Header(apdu, apdu::kInsPresentCode, 0, apdu::kCodeLength);
        std::copy_n(command.dataIn, apdu::kCodeLength, apdu.bytes.begin() + apdu::kHeaderLength);
        apdu.length += apdu::kCodeLength;
        return 0;
    case kInsReadErrorCounter:
        if (command.le < 1 || command.le > 4)
            return kErrBadCommand;
        Header(apdu, apdu::kInsReadErrorCounter, 0, apdu::kCounterReplyLength);
        return 0;
    default:
        return kErrBadCommand;
    }
}

std::int32_t ReadReply(CommandRecord& command, std::span<const std::uint8_t> reply) {
    switch (command.ins) {
    case kInsReadMemory:
        return ReadMemoryReply(command, reply);
    case kInsWriteMemory:
        if (reply.size() == kStatusLength && EndsOk(reply))
            return 0;
        return Refused(reply);
    case kInsPresentCode:
        return PresentCodeReply(command, reply);
    case kInsReadErrorCounter:
        return ErrorCounterReply(command, reply);
    default:
        return kErrBadCommand;
    }
}

Apdu SelectCardTypeApdu() {
    Apdu apdu;
    Header(apdu, apdu::kInsSelectCardType, 0, 1);
    apdu.bytes[apdu.length++] = apdu::kCardTypeSle4442Family;
    return apdu;
}

bool IsOk(std::span<const std::uint8_t> reply) {
    return reply.size() == kStatusLength && EndsOk(reply);
}

std::span<const std::uint8_t> CardAnswerToReset(std::span<const std::uint8_t> atr) {
    if (atr.size() == std::size(apdu::kAtrPrefix) + apdu::kCardAtrLength &&
        std::equal(std::begin(apdu::kAtrPrefix), std::end(apdu::kAtrPrefix), atr.begin())) {
        return atr.subspan(std::size(apdu::kAtrPrefix));
    }
    return atr;
}

} // namespace ostrel::reader::pcsc
