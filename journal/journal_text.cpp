#include "journal_text.h"

#include "base/hex.h"
#include "base/text_excerpt.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace ostrel::journal {

namespace {

template <typename T> std::string Number(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string();
}

} // namespace

std::string ListingLine(const std::vector<std::string>& fields, std::size_t count) {
    std::string line;
    for (std::size_t i = 0; i < count && i < fields.size(); ++i)
        line += (i ? "\t" : "") + base::Escaped(fields[i]);
    return line + "\n";
}

namespace {

// Control characters and invisible marks escaped as the listing shows them (an ESC byte would
// act on the terminal that displays the file); line breaks are kept, inside the quotes.
std::string EscapedKeepingLineBreaks(const std::string& field) {
    std::string text;
    std::size_t from = 0;
    for (std::size_t at = field.find_first_of("\r\n"); at != std::string::npos;
         at = field.find_first_of("\r\n", from)) {
        text += base::Escaped(std::string_view(field).substr(from, at - from)) + field[at];
        from = at + 1;
    }
    return text + base::Escaped(std::string_view(field).substr(from));
}

} // namespace

std::string CsvCell(const std::string& field) {
    const std::string escaped = EscapedKeepingLineBreaks(field);
    const std::string text =
        !escaped.empty() && std::string_view("=+-@\r").find(escaped.front()) != std::string::npos
            ? "'" + escaped
            : escaped;
    if (text.find_first_of(",;\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields, char separator) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += separator;
        line += CsvCell(fields[i]);
    }
    return line + "\r\n";
}

const std::vector<std::string>& ColumnNames() {
    static const std::vector<std::string> names = {
        "n°",        "heure (UTC)",     "poste",          "programme",   "lecteur",
        "opération", "série",           "série ancienne", "fournisseur", "type",
        "crédits",   "essais restants", "issue",          "carte avant", "carte après"};
    return names;
}

std::vector<std::string> EntryFields(const Entry& e) {
    // A station names itself: the server's login that added the row goes beside the name
    // when it differs, so that a name no login configured shows who wrote it.
    const std::string station =
        e.login.empty() || e.login == e.station ? e.station : e.station + " (" + e.login + ")";
    std::string supplier;
    if (e.supplier) {
        supplier = base::HexNumber(static_cast<std::uint32_t>(*e.supplier), 2);
    }
    return {std::to_string(e.id),
            e.time,
            station,
            e.program,
            e.reader,
            e.operation,
            Number(e.serialNew),
            Number(e.serialOld),
            supplier,
            Number(e.kind),
            Number(e.credits),
            Number(e.attemptsLeft),
            e.outcome,
            base::BytesToHex(e.before),
            base::BytesToHex(e.after)};
}

std::string ToCsv(const std::vector<Entry>& entries, char separator) {
    std::string csv = CsvLine(ColumnNames(), separator);
    for (const Entry& e : entries)
        csv += CsvLine(EntryFields(e), separator);
    return csv;
}

std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool RowMatches(const Entry& e, const RowFilter& f) {
    return (!f.serial || e.serialNew == f.serial || e.serialOld == f.serial) &&
           (f.from.empty() || e.time >= f.from) && (f.before.empty() || e.time < f.before) &&
           (f.station.empty() || e.station == f.station) &&
           (f.operation.empty() || e.operation == f.operation) &&
           (f.outcome.empty() || e.outcome == f.outcome);
}

bool IsIsoDate(const std::string& text) {
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    char end = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
        std::sscanf(text.c_str(), "%4d-%2u-%2u%c", &y, &m, &d, &end) != 3)
        return false;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return std::chrono::year_month_day{std::chrono::year{y}, std::chrono::month{m},
                                       std::chrono::day{d}}
        .ok();
}

} // namespace ostrel::journal
