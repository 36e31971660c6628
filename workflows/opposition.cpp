#include "opposition.h"

#include "card_check.h"

#include <set>

namespace ostrel::workflows {

namespace {

bool RecordRow(const journal::Writer& writer, const char* operation, std::int64_t serial,
               const std::string& reason, std::string& error) {
    journal::Entry row;
    row.station = writer.station;
    row.program = writer.program;
    row.reader = writer.reader;
    row.operation = operation;
    row.serialOld = serial;
    row.outcome = journal::kRecorded;
    row.reason = reason;
    std::int64_t id = 0;
    return writer.journal->Record(row, id, error);
}

constexpr int kPage = 500;

} // namespace

bool Oppose(const journal::Writer& writer, std::int64_t serial, const std::string& reason,
            std::string& error) {
    if (reason.find_first_not_of(" \t") == std::string::npos) {
        error = "une opposition dit sa raison";
        return false;
    }
    journal::CardStanding standing;
    if (!ReadStanding(*writer.journal, serial, standing, error))
        return false;
    if (standing.opposition) {
        error = "carte " + std::to_string(serial) +
                " déjà en opposition : " + journal::OppositionText(*standing.opposition);
        return false;
    }
    return RecordRow(writer, journal::kOpposition, serial, reason, error);
}

bool LiftOpposition(const journal::Writer& writer, std::int64_t serial, std::string& error) {
    journal::CardStanding standing;
    if (!ReadStanding(*writer.journal, serial, standing, error))
        return false;
    if (!standing.opposition) {
        error = "carte " + std::to_string(serial) + " : aucune opposition en cours";
        return false;
    }
    return RecordRow(writer, journal::kLift, serial, {}, error);
}

bool ListOppositions(journal::Journal& journal, std::vector<journal::Opposition>& oppositions,
                     std::string& error) {
    oppositions.clear();
    // The rows of oppositions are few; each card's own history tells whether its still holds.
    std::set<std::int64_t> seen;
    journal::RowFilter filter;
    filter.operation = journal::kOpposition;
    std::optional<std::int64_t> after;
    for (;;) {
        std::vector<journal::Entry> rows;
        if (!journal.Page(filter, after, kPage, rows, error))
            return false;
        for (const journal::Entry& row : rows) {
            if (!row.serialOld || !seen.insert(*row.serialOld).second)
                continue;
            journal::CardStanding standing;
            if (!ReadStanding(journal, *row.serialOld, standing, error))
                return false;
            if (standing.opposition)
                oppositions.push_back(*standing.opposition);
        }
        if (static_cast<int>(rows.size()) < kPage)
            return true;
        after = rows.back().id;
    }
}

} // namespace ostrel::workflows
