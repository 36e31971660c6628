#include "virtual_card_responder.h"

#include "card/card_memory.h"
#include "reader/pcsc/memory_card_apdu.h"

#include <algorithm>

namespace ostrel::reader::vpcd {

namespace {

std::vector<std::uint8_t> Status(std::uint16_t sw) {
    return {static_cast<std::uint8_t>(sw >> 8), static_cast<std::uint8_t>(sw & 0xFF)};
}

void AppendOk(std::vector<std::uint8_t>& reply) {
    reply.push_back(apdu::kSw1Ok);
    reply.push_back(apdu::kSw2Ok);
}

} // namespace

std::vector<std::uint8_t> VirtualCardResponder::answerToReset() const {
    constexpr std::size_t kPrefix = std::size(apdu::kAtrPrefix);
    std::vector<std::uint8_t> atr(kPrefix + apdu::kCardAtrLength);
    std::copy_n(apdu::kAtrPrefix, kPrefix, atr.begin());
    std::copy_n(card_->chip().memory().begin(), apdu::kCardAtrLength, atr.begin() + kPrefix);
    return atr;
}

std::vector<std::uint8_t> VirtualCardResponder::respond(std::span<const std::uint8_t> command) {
    if (command.size() < static_cast<std::size_t>(apdu::kHeaderLength))
        return Status(apdu::kSwWrongLength);
    if (command[0] != apdu::kClassReader)
        return Status(apdu::kSwClassNotSupported);
    const std::uint8_t ins = command[1];
    const std::uint8_t p1 = command[2];
    const std::uint8_t p2 = command[3];
    const std::uint8_t length = command[4];
    const auto data = command.subspan(apdu::kHeaderLength);
    const bool expectsData = ins == apdu::kInsSelectCardType || ins == apdu::kInsWriteMemory ||
                             ins == apdu::kInsPresentCode;
    const bool known = expectsData || ins == apdu::kInsReadMemory ||
                       ins == apdu::kInsReadErrorCounter || ins == apdu::kInsReadProtectionBits;
    if (!known)
        return Status(apdu::kSwInsNotSupported);
    // Commands that send data carry exactly Lc bytes; the others carry none.
    if (expectsData ? data.size() != length || length == 0 : !data.empty())
        return Status(apdu::kSwWrongLength);
    if (p1 != 0)
        return Status(apdu::kSwWrongAddress);
    switch (ins) {
    case apdu::kInsSelectCardType:
        if (data.size() != 1 || data[0] != apdu::kCardTypeSle4442Family || p2 != 0)
            return Status(apdu::kSwWrongData);
        powerCycle();
        return Status(apdu::kSwOk);
    case apdu::kInsReadMemory:
        return readMemory(p2, length == 0 ? 256 : length);
    case apdu::kInsWriteMemory:
        return writeMemory(p2, data);
    case apdu::kInsPresentCode:
        if (p2 != 0)
            return Status(apdu::kSwWrongAddress);
        if (data.size() != apdu::kCodeLength)
            return Status(apdu::kSwWrongLength);
        return presentCode(data);
    case apdu::kInsReadErrorCounter:
        if (p2 != 0)
            return Status(apdu::kSwWrongAddress);
        if (length != apdu::kCounterReplyLength)
            return Status(apdu::kSwWrongLength);
        return readErrorCounter();
    case apdu::kInsReadProtectionBits:
        if (p2 != 0)
            return Status(apdu::kSwWrongAddress);
        if (length != apdu::kProtectionLength)
            return Status(apdu::kSwWrongLength);
        return readProtectionBits();
    default:
        return Status(apdu::kSwInsNotSupported);
    }
}

std::vector<std::uint8_t> VirtualCardResponder::readMemory(std::uint8_t address, int length) const {
    if (address + length > static_cast<int>(card::kCardSize))
        return Status(apdu::kSwWrongAddress);
    const auto& memory = card_->chip().memory();
    std::vector<std::uint8_t> reply(memory.begin() + address, memory.begin() + address + length);
    AppendOk(reply);
    return reply;
}

std::vector<std::uint8_t> VirtualCardResponder::writeMemory(std::uint8_t address,
                                                            std::span<const std::uint8_t> data) {
    if (address + data.size() > card::kCardSize)
        return Status(apdu::kSwWrongAddress);
    // The chip ignores what it may not write and says nothing: only a read-back shows it.
    if (!card_->chip().write(address, data))
        return Status(apdu::kSwOk);
    return Status(saved());
}

std::vector<std::uint8_t> VirtualCardResponder::presentCode(std::span<const std::uint8_t> code) {
    auto& chip = card_->chip();
    const std::uint8_t before = chip.errorCounter();
    const std::uint8_t after = chip.presentCode({code[0], code[1], code[2]});
    if (before != after && saved() != apdu::kSwOk)
        return Status(apdu::kSwMemoryFailure);
    return {apdu::kSw1Ok, after};
}

std::vector<std::uint8_t> VirtualCardResponder::readErrorCounter() const {
    const auto& chip = card_->chip();
    // The reference code reads as zeros until it has been presented.
    std::vector<std::uint8_t> reply{chip.errorCounter(), 0, 0, 0};
    if (chip.unlocked()) {
        const auto code = CodeBytes(chip.code());
        std::copy(code.begin(), code.end(), reply.begin() + 1);
    }
    AppendOk(reply);
    return reply;
}

std::vector<std::uint8_t> VirtualCardResponder::readProtectionBits() const {
    const auto bits = card_->chip().protectionBytes();
    std::vector<std::uint8_t> reply(bits.begin(), bits.end());
    AppendOk(reply);
    return reply;
}

std::uint16_t VirtualCardResponder::saved() {
    if (!card_->persist(saveError_))
        return apdu::kSwMemoryFailure;
    saveError_.clear();
    return apdu::kSwOk;
}

} // namespace ostrel::reader::vpcd
