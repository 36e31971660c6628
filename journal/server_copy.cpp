#include "server_copy.h"

#include <algorithm>
#include <libpq-fe.h>

namespace ostrel::journal {

namespace {

bool Issued(const Entry& e) {
    return e.operation == kFormat && e.serialNew &&
           (e.outcome == kVerified || e.outcome == kWriteFailed || e.outcome == kInterrupted);
}

template <typename T> PgParam Number(const std::optional<T>& value) {
    return value ? PgParam(std::to_string(*value)) : std::nullopt;
}

PgParam Bytes(const std::string& bytes) {
    return bytes.empty() ? std::nullopt : PgParam(ToByteaText(bytes));
}

// The serials of entries the server gave to other cards.
bool Conflicts(const std::vector<Entry>& entries, const std::string& station, PgConnection& server,
               std::string& names, std::string& error) {
    for (const Entry& e : entries) {
        if (!Issued(e))
            continue;
        PgResult r;
        if (!server.Exec("SELECT 1 FROM ostrel.operations WHERE operation = 'formatage' AND "
                         "outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue') "
                         "AND serial_new = $1 AND (origin_station IS DISTINCT FROM $2 OR "
                         "origin_id IS DISTINCT FROM $3)",
                         {std::to_string(*e.serialNew), station, std::to_string(e.id)}, &r, error,
                         false))
            return false;
        if (PQntuples(r.get()) > 0)
            names += (names.empty() ? "" : ", ") + std::to_string(*e.serialNew);
    }
    return true;
}

bool Copy(const std::vector<Entry>& entries, const std::string& station, PgConnection& server,
          CopyReport& report, std::string& error) {
    PgResult series;
    if (!server.Exec("SELECT next_serial FROM ostrel.series FOR UPDATE", {}, &series, error, false))
        return false;
    if (PQntuples(series.get()) == 0) {
        error = "serveur " + server.address() +
                " : série absente (ostrel-card journal --init-server ADRESSE --next N)";
        return false;
    }
    std::string names;
    if (!Conflicts(entries, station, server, names, error))
        return false;
    if (!names.empty()) {
        error = "serveur " + server.address() +
                " : numéros déjà attribués à d'autres cartes sur le serveur : " + names +
                " ; rien n'est copié";
        return false;
    }
    std::int64_t highest = -1;
    std::vector<const Entry*> oldestFirst;
    for (const Entry& e : entries)
        oldestFirst.push_back(&e);
    std::sort(oldestFirst.begin(), oldestFirst.end(),
              [](const Entry* a, const Entry* b) { return a->id < b->id; });
    for (const Entry* row : oldestFirst) {
        const Entry& e = *row;
        const std::string origin = e.station.empty() ? station : e.station;
        PgResult r;
        if (!server.Exec(
                "INSERT INTO ostrel.operations(time, station, program, reader, operation, "
                "serial_new, serial_old, supplier, kind, credits, attempts_left, outcome, "
                "card_before, card_after, origin_station, origin_id) VALUES($1, $2, $3, $4, $5, "
                "$6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16) "
                "ON CONFLICT (origin_station, origin_id) DO NOTHING",
                {e.time, origin, e.program, e.reader, e.operation, Number(e.serialNew),
                 Number(e.serialOld), Number(e.supplier), Number(e.kind), Number(e.credits),
                 Number(e.attemptsLeft), e.outcome, Bytes(e.before), Bytes(e.after), station,
                 std::to_string(e.id)},
                &r, error, false))
            return false;
        if (std::string(PQcmdTuples(r.get())) == "1")
            ++report.copied;
        else
            ++report.alreadyThere;
        highest =
            std::max<std::int64_t>({highest, e.serialNew.value_or(-1), e.serialOld.value_or(-1)});
    }
    PgResult next;
    if (!server.Exec("UPDATE ostrel.series SET next_serial = greatest(next_serial, "
                     "coalesce(ostrel.next_marked_serial($1), next_serial)) RETURNING next_serial",
                     {std::to_string(highest)}, &next, error, false))
        return false;
    report.nextSerial = std::stoll(PQgetvalue(next.get(), 0, 0));
    return true;
}

} // namespace

bool CopyToServer(const std::vector<Entry>& entries, const std::string& station,
                  PgConnection& server, CopyReport& report, std::string& error) {
    report = {};
    if (!server.Exec("BEGIN", {}, nullptr, error))
        return false;
    if (!Copy(entries, station, server, report, error)) {
        std::string ignored;
        server.Exec("ROLLBACK", {}, nullptr, ignored, false);
        return false;
    }
    return server.Exec("COMMIT", {}, nullptr, error, false);
}

bool StartServerSeries(PgConnection& server, std::int64_t next, std::string& error) {
    PgResult r;
    if (!server.Exec("INSERT INTO ostrel.series(next_serial) VALUES($1) ON CONFLICT DO NOTHING",
                     {std::to_string(next)}, &r, error))
        return false;
    if (std::string(PQcmdTuples(r.get())) != "1") {
        error = "serveur " + server.address() + " : la série existe déjà";
        return false;
    }
    return true;
}

} // namespace ostrel::journal
