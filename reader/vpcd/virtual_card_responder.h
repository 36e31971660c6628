#pragma once

#include "reader/virtual_card.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ostrel::reader::vpcd {

// The card side of a USB reader's memory-card commands: answers each APDU as such a reader
// does for an SLE4442, on the chip of a virtual card, and saves the card file after every
// command that changed the card.
class VirtualCardResponder {
public:
    explicit VirtualCardResponder(std::shared_ptr<VirtualCard> card) : card_(std::move(card)) {}

    // 3B 04 and the card's bytes 0..3.
    std::vector<std::uint8_t> answerToReset() const;
    // Power off, power on and reset all end an unlocked state.
    void powerCycle() { card_->chip().powerCycle(); }

    std::vector<std::uint8_t> respond(std::span<const std::uint8_t> command);

    VirtualCard& card() { return *card_; }
    // Why the last save failed; empty when it did not.
    const std::string& lastSaveError() const { return saveError_; }

private:
    std::vector<std::uint8_t> readMemory(std::uint8_t address, int length) const;
    std::vector<std::uint8_t> writeMemory(std::uint8_t address, std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> presentCode(std::span<const std::uint8_t> code);
    std::vector<std::uint8_t> readErrorCounter() const;
    std::vector<std::uint8_t> readProtectionBits() const;
    // The status word that ends a command that changed the card: success only once it is saved.
    std::uint16_t saved();

    std::shared_ptr<VirtualCard> card_;
    std::string saveError_;
};

} // namespace ostrel::reader::vpcd
