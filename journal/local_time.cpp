#include "local_time.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

namespace ostrel::journal {

namespace {

std::optional<std::tm> LocalOf(const std::string& utc) {
    std::tm parts{};
    char zone = 0;
    char end = 0;
    if (utc.size() != 20 ||
        std::sscanf(utc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%c", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone,
                    &end) != 7 ||
        zone != 'Z')
        return std::nullopt;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    const std::time_t seconds = ::timegm(&parts);
    std::tm local{};
    if (!::localtime_r(&seconds, &local))
        return std::nullopt;
    return local;
}

std::string Format(const std::tm& time, const char* format) {
    char text[32];
    return std::strftime(text, sizeof text, format, &time) ? text : "";
}

std::string DayMoved(const std::string& day, int days) {
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    if (std::sscanf(day.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3)
        return day;
    const std::chrono::year_month_day moved{
        std::chrono::sys_days{std::chrono::year{y} / std::chrono::month{m} / std::chrono::day{d}} +
        std::chrono::days{days}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(moved.year()),
                  static_cast<unsigned>(moved.month()), static_cast<unsigned>(moved.day()));
    return text;
}

} // namespace

std::string LocalTimeText(const std::string& utc) {
    const auto local = LocalOf(utc);
    return local ? Format(*local, "%Y-%m-%d %H:%M:%S") : utc;
}

std::string LocalDay(const std::string& utc) {
    const auto local = LocalOf(utc);
    return local ? Format(*local, "%Y-%m-%d") : "";
}

std::string DayBefore(const std::string& day) {
    return DayMoved(day, -1);
}

std::string DayAfter(const std::string& day) {
    return DayMoved(day, 1);
}

std::string LocalDayStart(const std::string& day) {
    std::tm parts{};
    char end = 0;
    if (std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &end) != 3)
        return {};
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    parts.tm_isdst = -1;
    const std::time_t start = std::mktime(&parts);
    std::tm utc{};
    if (start == -1 || !::gmtime_r(&start, &utc))
        return {};
    return Format(utc, "%Y-%m-%dT%H:%M:%SZ");
}

std::string LocalZoneName() {
    std::string zone;
    if (const char* tz = std::getenv("TZ"))
        zone = tz[0] == ':' ? tz + 1 : tz;
    else {
        std::error_code ec;
        zone = std::filesystem::read_symlink("/etc/localtime", ec).string();
    }
    // A path into the zone database names its zone.
    const auto at = zone.find("zoneinfo/");
    if (at != std::string::npos)
        zone = zone.substr(at + 9);
    return zone.empty() || zone[0] == '/' ? "UTC" : zone;
}

std::string LocalToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return Format(local, "%Y-%m-%d");
}

} // namespace ostrel::journal
