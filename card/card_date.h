#pragma once

#include "card_memory.h"

#include <chrono>
#include <optional>

namespace ostrel::card {

// The date of writing as the card stores it: plain numbers, year as year - 2000.
struct CardDate {
    std::uint8_t day;
    std::uint8_t month;
    std::uint8_t year; // calendar year - 2000
};

// Nothing for a year outside 2000..2255: the card's byte would wrap.
std::optional<CardDate> ToCardDate(std::chrono::year_month_day date);

// Today's date in the machine's local time zone.
std::chrono::year_month_day Today();

void StageDate(CardMemory& writeImage, const CardDate& date);

} // namespace ostrel::card
