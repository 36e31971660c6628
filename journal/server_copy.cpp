#include "server_copy.h"

#include <algorithm>
#include <libpq-fe.h>
#include <utility>

namespace ostrel::journal {

namespace {

constexpr std::int64_t kLastSerial = 999999999;

bool Issued(const Entry& e) {
    return e.operation == kFormat && e.serialNew &&
           (e.outcome == kVerified || e.outcome == kWriteFailed || e.outcome == kInterrupted);
}

// A serial as the server stores it: anything out of nine digits (a blank card's FF FF FF FF)
// is none.
std::optional<std::int64_t> RealSerial(const std::optional<std::int64_t>& serial) {
    if (serial && *serial >= 0 && *serial <= kLastSerial)
        return serial;
    return std::nullopt;
}

template <typename T> PgParam Number(const std::optional<T>& value) {
    return value ? PgParam(std::to_string(*value)) : std::nullopt;
}

// A card image the server takes: its 256 bytes, else none.
PgParam Image(const std::string& bytes) {
    return bytes.size() == 256 ? PgParam(ToByteaText(bytes)) : std::nullopt;
}

// The text form of a one-dimensional array, every element quoted: values travel as one
// parameter per column of a batch.
class ArrayText {
public:
    void Add(const PgParam& item) {
        text_ += text_.size() > 1 ? "," : "";
        if (!item) {
            text_ += "NULL";
            return;
        }
        text_ += '"';
        for (const char c : *item) {
            if (c == '"' || c == '\\')
                text_ += '\\';
            text_ += c;
        }
        text_ += '"';
    }
    std::string Take() { return std::exchange(text_, "{") + "}"; }

private:
    std::string text_ = "{";
};

using Batch = std::vector<const Entry*>;

// The serials of batch that the server gave to other cards (not rows of this file copied
// before, nor rows of this station copied before files had ids, known by their time).
bool Conflicts(const Batch& batch, const std::string& fileId, const std::string& station,
               PgConnection& server, std::string& names, std::string& error) {
    ArrayText serials, ids, times;
    for (const Entry* e : batch) {
        if (!Issued(*e) || !RealSerial(e->serialNew))
            continue;
        serials.Add(std::to_string(*e->serialNew));
        ids.Add(std::to_string(e->id));
        times.Add(e->time);
    }
    PgResult r;
    if (!server.Exec(
            "SELECT string_agg(o.serial_new::text, ', ' ORDER BY o.serial_new) "
            "FROM ostrel.operations o JOIN unnest($1::bigint[], $2::bigint[], "
            "$3::timestamptz[]) AS c(serial, id, time) ON o.serial_new = c.serial "
            "WHERE o.operation = 'formatage' AND (o.reserved OR o.outcome IN "
            "('écrite et vérifiée', 'échec d''écriture', 'interrompue')) "
            "AND NOT (o.origin_file IS NOT DISTINCT FROM $4::uuid AND o.origin_id = c.id) "
            "AND NOT (o.origin_file IS NULL AND o.origin_station = $5 AND o.origin_id = c.id "
            "AND o.time = c.time)",
            {serials.Take(), ids.Take(), times.Take(), fileId, station}, &r, error, false))
        return false;
    if (!PQgetisnull(r.get(), 0, 0))
        names += (names.empty() ? "" : ", ") + std::string(PQgetvalue(r.get(), 0, 0));
    return true;
}

// One batch in one statement: rows this station copied before files had ids are claimed for
// this file, the others added unless this file's copy added them already.
bool CopyBatch(const Batch& batch, const std::string& fileId, const std::string& station,
               PgConnection& server, CopyReport& report, std::string& error) {
    ArrayText columns[16];
    for (const Entry* row : batch) {
        const Entry& e = *row;
        const PgParam values[16] = {e.time,
                                    e.station.empty() ? station : e.station,
                                    e.program,
                                    e.reader,
                                    e.operation,
                                    Number(RealSerial(e.serialNew)),
                                    Number(RealSerial(e.serialOld)),
                                    Number(e.supplier),
                                    Number(e.kind),
                                    Number(e.credits),
                                    Number(e.attemptsLeft),
                                    e.outcome,
                                    Image(e.before),
                                    Image(e.after),
                                    std::to_string(e.id),
                                    e.reason.empty() ? PgParam() : PgParam(e.reason)};
        for (int i = 0; i < 16; ++i)
            columns[i].Add(values[i]);
    }
    std::vector<PgParam> params;
    for (int i = 0; i < 15; ++i)
        params.push_back(columns[i].Take());
    params.push_back(fileId);
    params.push_back(station);
    params.push_back(columns[15].Take()); // an opposition's reason
    PgResult r;
    if (!server.Exec(
            "WITH c AS (SELECT * FROM unnest($1::timestamptz[], $2::text[], $3::text[], "
            "$4::text[], $5::text[], $6::bigint[], $7::bigint[], $8::int[], $9::int[], "
            "$10::int[], $11::int[], $12::text[], $13::bytea[], $14::bytea[], $15::bigint[], "
            "$18::text[]) AS c(time, station, program, reader, operation, serial_new, "
            "serial_old, supplier, kind, credits, attempts_left, outcome, card_before, "
            "card_after, origin_id, reason)), "
            "claimed AS (UPDATE ostrel.operations o SET origin_file = $16::uuid FROM c "
            "WHERE o.origin_file IS NULL AND o.origin_station = $17 "
            "AND o.origin_id = c.origin_id AND o.time = c.time RETURNING o.origin_id) "
            "INSERT INTO ostrel.operations(time, station, program, reader, operation, "
            "serial_new, serial_old, supplier, kind, credits, attempts_left, outcome, "
            "card_before, card_after, origin_station, origin_file, origin_id, reason) "
            "SELECT c.time, c.station, c.program, c.reader, c.operation, c.serial_new, "
            "c.serial_old, c.supplier, c.kind, c.credits, c.attempts_left, c.outcome, "
            "c.card_before, c.card_after, $17, $16::uuid, c.origin_id, c.reason FROM c "
            "WHERE c.origin_id NOT IN (SELECT origin_id FROM claimed) "
            "ON CONFLICT (origin_file, origin_id) DO NOTHING",
            params, &r, error, false))
        return false;
    const std::size_t added = std::stoul("0" + std::string(PQcmdTuples(r.get())));
    report.copied += added;
    report.alreadyThere += batch.size() - added;
    return true;
}

// Runs step in a transaction of its own.
template <typename Step> bool InTransaction(PgConnection& server, std::string& error, Step step) {
    if (!server.Exec("BEGIN", {}, nullptr, error))
        return false;
    if (!step()) {
        std::string ignored;
        server.Exec("ROLLBACK", {}, nullptr, ignored, false);
        return false;
    }
    return server.Exec("COMMIT", {}, nullptr, error, false);
}

std::string NoSeries(const PgConnection& server) {
    return "serveur " + server.address() +
           " : série absente (ostrel-card journal --init-server ADRESSE --next N)";
}

} // namespace

bool CopyToServer(const std::vector<Entry>& entries, const std::string& fileId,
                  const std::string& station, PgConnection& server, CopyReport& report,
                  std::string& error) {
    report = {};
    PgResult series;
    if (!server.Exec("SELECT next_serial FROM ostrel.series", {}, &series, error))
        return false;
    if (PQntuples(series.get()) == 0) {
        error = NoSeries(server);
        return false;
    }
    Batch oldestFirst;
    std::int64_t highest = -1;
    for (const Entry& e : entries) {
        oldestFirst.push_back(&e);
        highest = std::max<std::int64_t>(
            {highest, RealSerial(e.serialNew).value_or(-1), RealSerial(e.serialOld).value_or(-1)});
    }
    std::sort(oldestFirst.begin(), oldestFirst.end(),
              [](const Entry* a, const Entry* b) { return a->id < b->id; });
    std::vector<Batch> batches;
    for (std::size_t i = 0; i < oldestFirst.size(); i += kCopyBatch)
        batches.emplace_back(oldestFirst.begin() + static_cast<std::ptrdiff_t>(i),
                             oldestFirst.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                       i + kCopyBatch, oldestFirst.size())));
    std::string names;
    for (const Batch& batch : batches) {
        if (!Conflicts(batch, fileId, station, server, names, error))
            return false;
    }
    if (!names.empty()) {
        error = "serveur " + server.address() +
                " : numéros déjà attribués à d'autres cartes sur le serveur : " + names +
                " ; rien n'est copié";
        return false;
    }
    for (const Batch& batch : batches) {
        if (!InTransaction(server, error, [&] {
                return CopyBatch(batch, fileId, station, server, report, error);
            }))
            return false;
    }
    // Only now is the series held, for the one statement that raises it.
    PgResult next;
    if (!server.Exec("UPDATE ostrel.series SET next_serial = CASE WHEN $1::bigint IS NULL "
                     "THEN next_serial ELSE greatest(next_serial, "
                     "coalesce(ostrel.next_marked_serial($1), 999999999)) END "
                     "RETURNING next_serial",
                     {highest < 0 ? std::nullopt : PgParam(std::to_string(highest))}, &next, error))
        return false;
    if (PQntuples(next.get()) == 0) {
        error = NoSeries(server);
        return false;
    }
    report.nextSerial = std::stoll(PQgetvalue(next.get(), 0, 0));
    return true;
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
