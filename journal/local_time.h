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

// The day after a "YYYY-MM-DD" day.
std::string DayAfter(const std::string& day);

// When a local day "YYYY-MM-DD" starts, as a stored UTC time; empty when it is no such day.
std::string LocalDayStart(const std::string& day);

// The IANA name of the local time zone ("Europe/Paris"), as the server takes it: from TZ, else
// /etc/localtime; "UTC" when neither names one.
std::string LocalZoneName();

// Today, local time, "YYYY-MM-DD".
std::string LocalToday();

} // namespace ostrel::journal
