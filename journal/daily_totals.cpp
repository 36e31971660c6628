#include "daily_totals.h"

#include "card/token_programmes.h"
#include "journal_text.h"
#include "local_time.h"

#include <map>

namespace ostrel::journal {

namespace {

// n rows of one operation and outcome, with credits (tokens: each row's) summing to creditSum.
void Count(const std::string& operation, const std::string& outcome, std::optional<int> credits,
           int n, std::int64_t creditSum, DayTotals& t) {
    if (outcome == kModifiedOutside || outcome == kUnknownToJournal) {
        t.suspect += n;
    } else if (operation == kOpposition) {
        t.oppositions += n;
    } else if (operation == kLift) {
        t.lifted += n;
    } else if (outcome == kRefused) {
        t.refused += n;
    } else if (outcome == kLocked) {
        t.locked += n;
    } else if (outcome == kNotPresented) {
        t.notPresented += n;
    } else if (outcome == kWriteFailed) {
        t.failed += n;
    } else if (outcome == kInterrupted) {
        t.interrupted += n;
    } else if (outcome != kVerified) {
        return;
    } else if (operation == kFormat) {
        t.formatted += n;
    } else if (operation == kRewrite) {
        t.rewritten += n;
    } else if (operation == kReplacement) {
        // Credits given back, not sold: not among the credit cards.
        t.replacements += n;
    } else if (operation == kCredit) {
        t.creditCards += n;
        t.credits += static_cast<int>(creditSum);
    } else if (operation == kToken) {
        t.tokenCards += n;
        const auto programme = card::ProgrammeOfCredits(credits.value_or(-1));
        t.tokensByProgramme[programme ? static_cast<std::size_t>(*programme - 1) : 5] += n;
    }
}

void Count(const Entry& e, DayTotals& t) {
    Count(e.operation, e.outcome, e.credits, 1, e.credits.value_or(0), t);
}

} // namespace

Totals SumByDay(const std::vector<Entry>& entries, const std::string& since,
                const std::string& until) {
    std::map<std::string, DayTotals> days;
    Totals totals;
    totals.total.day = "total";
    for (const Entry& e : entries) {
        const std::string day = LocalDay(e.time);
        if (day.empty() || (!since.empty() && day < since) || (!until.empty() && day > until))
            continue;
        DayTotals& t = days[day];
        t.day = day;
        Count(e, t);
        Count(e, totals.total);
    }
    for (auto& [day, t] : days)
        totals.days.push_back(t);
    return totals;
}

bool ReadTotals(Journal& journal, const std::string& since, const std::string& until,
                Totals& totals, std::string& error, const TotalsScope& scope) {
    std::vector<DayCount> counts;
    const bool byStation = scope.byStation || !scope.station.empty();
    if (!journal.CountByDay(LocalZoneName(), since, until, byStation, counts, error))
        return false;
    totals = SumDayCounts(counts, scope);
    return true;
}

Totals SumDayCounts(const std::vector<DayCount>& counts, const TotalsScope& scope) {
    std::map<std::pair<std::string, std::string>, DayTotals> days;
    Totals totals;
    totals.total.day = "total";
    for (const DayCount& c : counts) {
        if (!scope.station.empty() && c.station != scope.station)
            continue;
        const std::string station = scope.byStation ? c.station : std::string();
        DayTotals& t = days[{c.day, station}];
        t.day = c.day;
        t.station = station;
        const int n = static_cast<int>(c.rows);
        Count(c.operation, c.outcome, c.credits, n, c.creditSum, t);
        Count(c.operation, c.outcome, c.credits, n, c.creditSum, totals.total);
    }
    for (auto& [day, t] : days)
        totals.days.push_back(t);
    return totals;
}

std::vector<std::string> TotalsColumnNames(bool byStation) {
    std::vector<std::string> names = {
        "jour", "formatées", "réécrites", "cartes crédit", "crédits", "cartes jeton",
        "jetons prog. 1", "jetons prog. 2", "jetons prog. 3", "jetons prog. 4", "jetons prog. 5",
        "jetons autres", "codes refusés", "échecs d'écriture", "interrompues",
        // Added last, so that a sheet reading the earlier columns by place still reads them.
        "cartes verrouillées", "non présentés (dernier essai)", "cartes suspectes", "oppositions",
        "levées d'opposition", "remplacements"};
    if (byStation)
        names.insert(names.begin() + 1, "poste");
    return names;
}

std::vector<std::string> TotalsFields(const DayTotals& t, bool byStation) {
    std::vector<std::string> fields = {t.day,
                                       std::to_string(t.formatted),
                                       std::to_string(t.rewritten),
                                       std::to_string(t.creditCards),
                                       std::to_string(t.credits),
                                       std::to_string(t.tokenCards)};
    for (const int tokens : t.tokensByProgramme)
        fields.push_back(std::to_string(tokens));
    for (const int count : {t.refused, t.failed, t.interrupted, t.locked, t.notPresented, t.suspect,
                            t.oppositions, t.lifted, t.replacements})
        fields.push_back(std::to_string(count));
    if (byStation)
        fields.insert(fields.begin() + 1, t.station);
    return fields;
}

std::string TotalsCsv(const Totals& totals, char separator, bool byStation) {
    std::string csv = CsvLine(TotalsColumnNames(byStation), separator);
    for (const DayTotals& day : totals.days)
        csv += CsvLine(TotalsFields(day, byStation), separator);
    return csv + CsvLine(TotalsFields(totals.total, byStation), separator);
}

} // namespace ostrel::journal
