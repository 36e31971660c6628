#include "daily_totals.h"

#include "card/token_programmes.h"
#include "journal_text.h"
#include "local_time.h"

#include <map>

namespace ostrel::journal {

namespace {

void Count(const Entry& e, DayTotals& t) {
    if (e.outcome == kRefused) {
        ++t.refused;
    } else if (e.outcome == kLocked) {
        ++t.locked;
    } else if (e.outcome == kNotPresented) {
        ++t.notPresented;
    } else if (e.outcome == kWriteFailed) {
        ++t.failed;
    } else if (e.outcome == kInterrupted) {
        ++t.interrupted;
    } else if (e.outcome != kVerified) {
        return;
    } else if (e.operation == kFormat) {
        ++t.formatted;
    } else if (e.operation == kRewrite) {
        ++t.rewritten;
    } else if (e.operation == kCredit) {
        ++t.creditCards;
        t.credits += e.credits.value_or(0);
    } else if (e.operation == kToken) {
        ++t.tokenCards;
        const auto programme = card::ProgrammeOfCredits(e.credits.value_or(-1));
        ++t.tokensByProgramme[programme ? static_cast<std::size_t>(*programme - 1) : 5];
    }
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
                Totals& totals, std::string& error) {
    // A local day starts at most a day before the same UTC day.
    Filter filter;
    filter.since = since.empty() ? std::string() : DayBefore(since);
    std::vector<Entry> entries;
    if (!journal.List(filter, entries, error))
        return false;
    totals = SumByDay(entries, since, until);
    return true;
}

const std::vector<std::string>& TotalsColumnNames() {
    static const std::vector<std::string> names = {
        "jour", "formatées", "réécrites", "cartes crédit", "crédits", "cartes jeton",
        "jetons prog. 1", "jetons prog. 2", "jetons prog. 3", "jetons prog. 4", "jetons prog. 5",
        "jetons autres", "codes refusés", "échecs d'écriture", "interrompues",
        // Added last, so that a sheet reading the earlier columns by place still reads them.
        "cartes verrouillées", "non présentés (dernier essai)"};
    return names;
}

std::vector<std::string> TotalsFields(const DayTotals& t) {
    std::vector<std::string> fields = {t.day,
                                       std::to_string(t.formatted),
                                       std::to_string(t.rewritten),
                                       std::to_string(t.creditCards),
                                       std::to_string(t.credits),
                                       std::to_string(t.tokenCards)};
    for (const int tokens : t.tokensByProgramme)
        fields.push_back(std::to_string(tokens));
    for (const int count : {t.refused, t.failed, t.interrupted, t.locked, t.notPresented})
        fields.push_back(std::to_string(count));
    return fields;
}

std::string TotalsCsv(const Totals& totals, char separator) {
    std::string csv = CsvLine(TotalsColumnNames(), separator);
    for (const DayTotals& day : totals.days)
        csv += CsvLine(TotalsFields(day), separator);
    return csv + CsvLine(TotalsFields(totals.total), separator);
}

} // namespace ostrel::journal
