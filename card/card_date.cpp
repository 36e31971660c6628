#include "card_date.h"

#include "card_layout.h"

#include <ctime>

namespace ostrel::card {

std::optional<CardDate> ToCardDate(std::chrono::year_month_day date) {
    if (!date.ok()) {
        return std::nullopt;
    }
    const int year = static_cast<int>(date.year());
    if (year < 2000 || year > 2255) {
        return std::nullopt;
    }
    return CardDate{static_cast<std::uint8_t>(static_cast<unsigned>(date.day())),
                    static_cast<std::uint8_t>(static_cast<unsigned>(date.month())),
                    static_cast<std::uint8_t>(year - 2000)};
}

std::chrono::year_month_day Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                       std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                       std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

void StageDate(CardMemory& writeImage, const CardDate& date) {
    writeImage[layout::kDayOffset] = date.day;
    writeImage[layout::kMonthOffset] = date.month;
    writeImage[layout::kYearOffset] = date.year;
}

} // namespace ostrel::card
