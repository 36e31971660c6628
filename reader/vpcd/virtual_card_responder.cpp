#include "virtual_card_responder.h"

#include "card/card_memory.h"

#include <algorithm>
#include <bit>

namespace ostrel::reader::vpcd {

namespace {

using namespace dialect;

constexpr int kMemorySize = static_cast<int>(card::kCardSize);
constexpr int kProtectedBytes = 32;

enum class Op { Select, Read, Write, Present, Change, Counter, Protection, WriteProtection, None };

Op OperationOf(const Table& table, std::uint8_t ins) {
    if (table.sessionStart.length > 0 && ins == table.sessionStart.bytes[1])
        return Op::Select;
    const std::pair<Command, Op> commands[] = {
        {table.read, Op::Read},
        {table.write, Op::Write},
        {table.presentCode, Op::Present},
        {table.changeCode, Op::Change},
        {table.readCounter, Op::Counter},
        {table.readProtection, Op::Protection},
        {table.writeProtection, Op::WriteProtection},
    };
    for (const auto& [command, op] : commands) {
        if (command.exists() && command.ins == ins)
            return op;
    }
    return Op::None;
}

bool SendsData(Op op) {
    return op == Op::Select || op == Op::Write || op == Op::Present || op == Op::Change ||
           op == Op::WriteProtection;
}

// Commands whose P1 P2 are an address; the others carry the table's fixed P1 P2.
bool Addressed(Op op) {
    return op == Op::Read || op == Op::Write || op == Op::WriteProtection;
}

Command CommandOf(const Table& table, Op op) {
    switch (op) {
    case Op::Present:
        return table.presentCode;
    case Op::Change:
        return table.changeCode;
    case Op::Counter:
        return table.readCounter;
    case Op::Protection:
        return table.readProtection;
    default:
        return {table.sessionStart.bytes[0], table.sessionStart.bytes[1],
                table.sessionStart.bytes[2], table.sessionStart.bytes[3]};
    }
}

std::vector<std::uint8_t> Status(std::uint16_t sw) {
    return {static_cast<std::uint8_t>(sw >> 8), static_cast<std::uint8_t>(sw & 0xFF)};
}

std::vector<std::uint8_t> WithStatus(std::vector<std::uint8_t> data, std::uint16_t sw) {
    data.push_back(static_cast<std::uint8_t>(sw >> 8));
    data.push_back(static_cast<std::uint8_t>(sw & 0xFF));
    return data;
}

std::array<std::uint8_t, 3> Code(std::span<const std::uint8_t> bytes) {
    return {bytes[0], bytes[1], bytes[2]};
}

} // namespace

std::vector<std::uint8_t> VirtualCardResponder::answerToReset() const {
    constexpr std::size_t kPrefix = std::size(kAtrPrefix);
    std::vector<std::uint8_t> atr(kPrefix + kCardAtrLength);
    std::copy_n(kAtrPrefix, kPrefix, atr.begin());
    std::copy_n(card_->chip().memory().begin(), kCardAtrLength, atr.begin() + kPrefix);
    return atr;
}

void VirtualCardResponder::powerCycle() {
    card_->chip().powerCycle();
    selected_ = false;
}

std::vector<std::uint8_t> VirtualCardResponder::respond(std::span<const std::uint8_t> command) {
    if (command.size() < kHeaderLength)
        return Status(kSwWrongLength);
    // Each dialect speaks one class.
    if (command[0] != table_->read.cla)
        return Status(kSwClassUnsupported);
    const Op op = OperationOf(*table_, command[1]);
    if (op == Op::None)
        return Status(older(Dialect::Iso) ? kSwClassUnsupported : kSwInsUnsupported);
    const std::uint8_t length = command[4];
    const auto data = command.subspan(kHeaderLength);
    // Commands that send data carry exactly Lc bytes; the others carry none.
    if (SendsData(op) ? data.size() != length || length == 0 : !data.empty())
        return Status(kSwWrongLength);
    const int address = command[2] << 8 | command[3];
    if (!Addressed(op)) {
        const Command expected = CommandOf(*table_, op);
        if (command[2] != expected.p1 || command[3] != expected.p2)
            return Status(kSwWrongAddress);
    }
    if (table_->needsSessionStart && !selected_ && op != Op::Select)
        return Status(kSwNoCurrentFile);
    switch (op) {
    case Op::Select:
        return select(data);
    case Op::Read:
        return read(address, length != 0                ? length
                             : table_->leZeroReadsToEnd ? kMemorySize - address
                                                        : kMemorySize);
    case Op::Write:
        return write(address, data);
    case Op::Present:
        if (data.size() != kCodeLength)
            return Status(kSwWrongLength);
        return presentCode(data);
    case Op::Change:
        return changeCode(data);
    case Op::Counter:
        // Older firmware takes the counter read with Le 00 only.
        if (length != (older(Dialect::Memcard) ? 0 : kCounterReplyLength))
            return Status(kSwWrongLength);
        return readErrorCounter();
    case Op::Protection:
        if (length != kProtectionLength)
            return Status(kSwWrongLength);
        return readProtectionBits();
    case Op::WriteProtection:
        return writeProtectionBits(address, data);
    case Op::None:
        break;
    }
    return Status(kSwInsUnsupported);
}

std::vector<std::uint8_t> VirtualCardResponder::select(std::span<const std::uint8_t> data) {
    const std::span<const std::uint8_t> wanted(table_->sessionStart.bytes.data() + kHeaderLength,
                                               table_->sessionStart.length - kHeaderLength);
    if (!std::equal(data.begin(), data.end(), wanted.begin(), wanted.end()))
        return Status(table_->dialect == Dialect::Iso ? kSwFileNotFound : kSwWrongData);
    powerCycle();
    selected_ = true;
    if (older(Dialect::Memcard)) {
        const auto& memory = card_->chip().memory();
        return WithStatus({memory.begin(), memory.begin() + kCardAtrLength}, kSwOk);
    }
    return Status(kSwOk);
}

std::vector<std::uint8_t> VirtualCardResponder::read(int address, int length) const {
    if (address >= kMemorySize || length <= 0)
        return Status(kSwWrongAddress);
    std::uint16_t sw = kSwOk;
    if (address + length > kMemorySize) {
        if (table_->swReadPastEnd != kSwEndReached)
            return Status(table_->swReadPastEnd);
        sw = kSwEndReached;
        length = kMemorySize - address;
    }
    if (variant_ == Variant::Capped && length > static_cast<int>(kCappedLength))
        return cappedRead(address);
    const auto& memory = card_->chip().memory();
    std::vector<std::uint8_t> data(memory.begin() + address, memory.begin() + address + length);
    if (older(Dialect::Memcard)) {
        const auto bits = card_->chip().protectionBytes();
        data.insert(data.end(), bits.begin(), bits.end());
    }
    return WithStatus(std::move(data), sw);
}

std::vector<std::uint8_t> VirtualCardResponder::cappedRead(int address) const {
    if (table_->dialect == Dialect::Storage)
        return Status(static_cast<std::uint16_t>(kSwAskLength | kCappedLength));
    const auto& memory = card_->chip().memory();
    const auto from = memory.begin() + address;
    return WithStatus({from, from + static_cast<std::ptrdiff_t>(kCappedLength)},
                      table_->dialect == Dialect::Iso ? kSwEndReached : kSwOk);
}

std::vector<std::uint8_t> VirtualCardResponder::write(int address,
                                                      std::span<const std::uint8_t> data) {
    if (address + static_cast<int>(data.size()) > kMemorySize)
        return Status(kSwWrongAddress);
    Sle4442Chip& chip = card_->chip();
    if (table_->swNotPresented != 0 && !chip.unlocked())
        return Status(table_->swNotPresented);
    if (variant_ == Variant::DropsWrites && ++writes_ % 2 == 0)
        return Status(kSwOk);
    const Sle4442Chip before = chip;
    // The chip ignores what it may not write; readers of some dialects read back and say so.
    if (chip.write(address, data)) {
        if (const std::uint16_t sw = commit(before); sw != kSwOk)
            return Status(sw);
    }
    const bool kept = std::equal(data.begin(), data.end(), chip.memory().begin() + address);
    return Status(kept || table_->swNotKept == 0 ? kSwOk : table_->swNotKept);
}

std::vector<std::uint8_t> VirtualCardResponder::presentCode(std::span<const std::uint8_t> code) {
    Sle4442Chip& chip = card_->chip();
    const Sle4442Chip before = chip;
    const std::uint8_t after = chip.presentCode(Code(code));
    if (after != before.errorCounter()) {
        if (const std::uint16_t sw = commit(before); sw != kSwOk)
            return Status(sw);
    }
    return codeReply(before.errorCounter(), after, Code(code) == CodeBytes(before.code()));
}

std::vector<std::uint8_t> VirtualCardResponder::changeCode(std::span<const std::uint8_t> data) {
    Sle4442Chip& chip = card_->chip();
    const Sle4442Chip before = chip;
    if (table_->codeReply == CodeReply::CounterInSw2) {
        // The new code alone, once the old one was accepted; else the chip ignores it.
        if (data.size() != kCodeLength)
            return Status(kSwWrongLength);
        if (!chip.unlocked())
            return Status(kSwOk);
        const auto code = Code(data);
        chip.setCode(static_cast<std::uint32_t>(code[0] | code[1] << 8 | code[2] << 16));
        return Status(commit(before));
    }
    // The old code, checked as a presentation, then the new one.
    if (data.size() != 2 * kCodeLength)
        return Status(kSwWrongLength);
    const std::uint8_t after = chip.presentCode(Code(data));
    const bool accepted = before.errorCounter() != 0 && Code(data) == CodeBytes(before.code());
    if (accepted) {
        const auto code = Code(data.subspan(kCodeLength));
        chip.setCode(static_cast<std::uint32_t>(code[0] | code[1] << 8 | code[2] << 16));
    }
    if (chip.code() != before.code() || after != before.errorCounter()) {
        if (const std::uint16_t sw = commit(before); sw != kSwOk)
            return Status(sw);
    }
    return codeReply(before.errorCounter(), after, accepted);
}

std::vector<std::uint8_t> VirtualCardResponder::codeReply(std::uint8_t before, std::uint8_t after,
                                                          bool matched) const {
    if (table_->codeReply == CodeReply::CounterInSw2 && older(Dialect::Memcard)) {
        // The counter and the reference code, which reads as zeros while the card is locked.
        std::vector<std::uint8_t> reply{after, 0, 0, 0};
        if (card_->chip().unlocked()) {
            const auto code = CodeBytes(card_->chip().code());
            std::copy(code.begin(), code.end(), reply.begin() + 1);
        }
        return WithStatus(std::move(reply), kSwOk);
    }
    if (table_->codeReply == CodeReply::CounterInSw2)
        return {kSwOk >> 8, after};
    // Nothing is compared on a blocked card; the presentation that blocks it says 63 C0.
    if (before == 0)
        return Status(kSwBlocked);
    if (matched)
        return Status(kSwOk);
    return Status(static_cast<std::uint16_t>(kSwAttemptsLeft | std::popcount(after)));
}

std::vector<std::uint8_t> VirtualCardResponder::readErrorCounter() const {
    const auto& chip = card_->chip();
    // The reference code reads as zeros until it has been presented.
    std::vector<std::uint8_t> reply{chip.errorCounter(), 0, 0, 0};
    if (chip.unlocked()) {
        const auto code = CodeBytes(chip.code());
        std::copy(code.begin(), code.end(), reply.begin() + 1);
    }
    return WithStatus(std::move(reply), kSwOk);
}

std::vector<std::uint8_t> VirtualCardResponder::readProtectionBits() const {
    const auto bits = card_->chip().protectionBytes();
    return WithStatus({bits.begin(), bits.end()}, kSwOk);
}

std::vector<std::uint8_t>
VirtualCardResponder::writeProtectionBits(int address, std::span<const std::uint8_t> data) {
    if (address + static_cast<int>(data.size()) > kProtectedBytes)
        return Status(kSwWrongAddress);
    Sle4442Chip& chip = card_->chip();
    if (!chip.unlocked())
        return Status(kSwOk); // ignored by the chip, as a write
    const Sle4442Chip before = chip;
    bool changed = false;
    // A bit is burnt only where the data equals the memory.
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int at = address + static_cast<int>(i);
        if (chip.protectionBit(at) && chip.memory()[static_cast<std::size_t>(at)] == data[i]) {
            chip.setProtectionBit(at, false);
            changed = true;
        }
    }
    return Status(changed ? commit(before) : kSwOk);
}

std::uint16_t VirtualCardResponder::commit(const Sle4442Chip& before) {
    if (!card_->persist(saveError_)) {
        card_->chip() = before;
        return kSwMemoryFailure;
    }
    saveError_.clear();
    return kSwOk;
}

} // namespace ostrel::reader::vpcd
