#pragma once

#include "reader/reader_dialects.h"
#include "reader/virtual_card.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ostrel::reader::vpcd {

// The card side of a reader that offers the SLE4442 in one dialect: answers each APDU as such a
// reader does, on the chip of a virtual card, and saves the card file after every command that
// changed the card. What it serves is what the file holds: when a save fails, the chip goes
// back to its state before the command and the reply says the command failed.
class VirtualCardResponder {
public:
    explicit VirtualCardResponder(std::shared_ptr<VirtualCard> card,
                                  dialect::Dialect dialect = dialect::Dialect::Memcard,
                                  dialect::Variant variant = dialect::Variant::Plain)
        : card_(std::move(card)), table_(&dialect::TableOf(dialect)), variant_(variant) {}

    // 3B 04 and the card's bytes 0..3, in every dialect.
    std::vector<std::uint8_t> answerToReset() const;
    // Power off, power on and reset all end an unlocked state and the selection.
    void powerCycle();

    std::vector<std::uint8_t> respond(std::span<const std::uint8_t> command);

    VirtualCard& card() { return *card_; }
    const dialect::Table& table() const { return *table_; }
    // Why the last save failed; empty when it did not.
    const std::string& lastSaveError() const { return saveError_; }

private:
    std::vector<std::uint8_t> select(std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> read(int address, int length) const;
    // A read longer than a capped reader answers, in its command set's shape.
    std::vector<std::uint8_t> cappedRead(int address) const;
    bool older(dialect::Dialect dialect) const {
        return variant_ == dialect::Variant::Older && table_->dialect == dialect;
    }
    std::vector<std::uint8_t> write(int address, std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> presentCode(std::span<const std::uint8_t> code);
    std::vector<std::uint8_t> changeCode(std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> readErrorCounter() const;
    std::vector<std::uint8_t> readProtectionBits() const;
    std::vector<std::uint8_t> writeProtectionBits(int address, std::span<const std::uint8_t> data);
    // The reply to a code presentation that took the counter from before to after; matched:
    // the code sent was the card's.
    std::vector<std::uint8_t> codeReply(std::uint8_t before, std::uint8_t after,
                                        bool matched) const;
    // Saves a card that changed since before; on failure puts before back. kSwOk or the failure.
    std::uint16_t commit(const Sle4442Chip& before);

    std::shared_ptr<VirtualCard> card_;
    const dialect::Table* table_;
    dialect::Variant variant_;
    bool selected_ = false;
    unsigned writes_ = 0; // memory writes answered, for the variant that drops every second
    std::string saveError_;
};

} // namespace ostrel::reader::vpcd
