#pragma once

#include <string>

// The journal stores UTC; the operator reads and chooses days in the machine's local time.
namespace ostrel::journal {

// "2026-12-08T16:24:43Z" as local time, "2026-12-08 17:24:43" in Paris in winter; the text as
// it is when it is not such a time.
std::string LocalTimeText(const std::string& utc);

// The local day of a stored time, "2026-12-08"; empty when it is not such a time.
std::string LocalDay(const std::string& utc);

// The day before a "YYYY-MM-DD" day.
std::string DayBefore(const std::string& day);

// Today, local time, "YYYY-MM-DD".
std::string LocalToday();

} // namespace ostrel::journal
