#pragma once

#include "card/card_layout.h"
#include "card/codecs.h"
#include "reader/security_code.h"
#include "reader/virtual_card.h"

#include <memory>

// Cards the application tests put into the simulated reader; none is backed by a file.
inline std::shared_ptr<ostrel::reader::VirtualCard> TestBlankCard(std::uint8_t supplier = 0x04) {
    return std::make_shared<ostrel::reader::VirtualCard>(
        ostrel::reader::Sle4442Chip::Blank(supplier, ostrel::reader::FactoryCode(supplier)));
}

inline std::shared_ptr<ostrel::reader::VirtualCard>
TestFormattedCard(std::uint32_t serial = 1000000, std::uint8_t type = 1) {
    namespace layout = ostrel::card::layout;
    auto card = TestBlankCard();
    auto& memory = card->chip().memory();
    ostrel::card::WriteCardLong(memory, layout::kSerialOffset, serial);
    memory[layout::kApplicationCode] = layout::kOwnApplication;
    memory[layout::kCardType] = type;
    return card;
}
