#pragma once

#include "journal.h"

#include <array>
#include <string>
#include <vector>

namespace ostrel::journal {

// What one local day (or a range) saw. Only operations "écrite et vérifiée" count as cards
// written; refused codes, failed and interrupted writes, locked cards and cards whose last
// attempt was kept are counted apart.
struct DayTotals {
    std::string day;     // "YYYY-MM-DD", local time
    std::string station; // when counted by station
    int formatted = 0;
    int rewritten = 0;
    int creditCards = 0;
    int credits = 0; // on the credit cards
    int tokenCards = 0;
    // Token cards by programme, 1 to 5, told by the credits written; then any other number.
    std::array<int, 6> tokensByProgramme{};
    int refused = 0; // codes presented and refused
    int failed = 0;
    int interrupted = 0;
    int locked = 0;       // cards with no attempt left
    int notPresented = 0; // cards left untouched to keep their last attempt
    int suspect = 0;      // checks that found a card changed outside a station, or unknown
    int oppositions = 0;
    int lifted = 0; // oppositions lifted
    int replacements = 0;
};

// Which rows the totals sum: all stations together, each apart, or one alone.
struct TotalsScope {
    bool byStation = false;
    std::string station; // only this one when not empty
};

struct Totals {
    std::vector<DayTotals> days; // the days with operations, oldest first
    DayTotals total;             // day "total"
};

// since and until: local days "YYYY-MM-DD", both included; empty for no bound.
Totals SumByDay(const std::vector<Entry>& entries, const std::string& since,
                const std::string& until);

// The journal sums the range by local day (the stored times are UTC, the days local, in the
// machine's time zone); a day with rows that count for nothing is listed with zeros, as above.
bool ReadTotals(Journal& journal, const std::string& since, const std::string& until,
                Totals& totals, std::string& error, const TotalsScope& scope = {});
// The totals of counts already read (by station when scope asks for stations).
Totals SumDayCounts(const std::vector<DayCount>& counts, const TotalsScope& scope);

// The headings and one line's fields, in the same order.
// By station, the station's column follows the day's.
std::vector<std::string> TotalsColumnNames(bool byStation = false);
std::vector<std::string> TotalsFields(const DayTotals& totals, bool byStation = false);

// The days, then the total, as CSV with this separator.
std::string TotalsCsv(const Totals& totals, char separator, bool byStation = false);

} // namespace ostrel::journal
