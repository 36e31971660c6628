#pragma once

#include "card/card_layout.h"
#include "card/codecs.h"
#include "reader/virtual_card.h"

#include <memory>

// Cards the reader tests put into the simulated reader.
inline std::shared_ptr<ostrel::reader::VirtualCard> BlankCard(std::uint8_t supplier = 0x04,
                                                              std::uint32_t code = 0x5E2B71) {
    return std::make_shared<ostrel::reader::VirtualCard>(
        ostrel::reader::Sle4442Chip::Blank(supplier, code));
}

inline std::shared_ptr<ostrel::reader::VirtualCard> FormattedCard(std::uint8_t type = 7,
                                                                  std::uint8_t application = 1) {
    auto card = BlankCard();
    auto& m = card->chip().memory();
    // As a finished format leaves it: header byte, serial, application, and byte 255.
    m[ostrel::card::layout::kHeaderByte] = ostrel::card::layout::kHeaderByteValue;
    ostrel::card::WriteCardLong(m, ostrel::card::layout::kSerialOffset, 1000000);
    m[ostrel::card::layout::kApplicationCode] = application;
    m[ostrel::card::layout::kLastByte] = ostrel::card::layout::kLastByteFormatted;
    m[ostrel::card::layout::kCardType] = type;
    return card;
}
