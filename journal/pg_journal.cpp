#include "pg_journal.h"

#include "card_standing.h"
#include "operation_key.h"

#include <libpq-fe.h>
#include <sstream>

namespace ostrel::journal {

namespace {

PgParam Number(const std::optional<std::int64_t>& value) {
    return value ? PgParam(std::to_string(*value)) : std::nullopt;
}

PgParam Number(const std::optional<int>& value) {
    return value ? PgParam(std::to_string(*value)) : std::nullopt;
}

PgParam Bytes(const std::string& bytes) {
    return bytes.empty() ? std::nullopt : PgParam(ToByteaText(bytes));
}

// A serial a card held, as the server stores it: a blank card's FF FF FF FF, or anything
// past nine digits, is no serial.
PgParam OldSerial(const std::optional<std::int64_t>& serial) {
    return serial && *serial >= 0 && *serial <= 999999999 ? Number(serial) : std::nullopt;
}

std::string KeyOf(const Entry& entry) {
    return entry.key.empty() ? NewRandomKey() : entry.key;
}

// The elements of a one-dimensional array of plain values in its text form ("{1,2}").
std::vector<std::string> ArrayItems(const std::string& text) {
    std::vector<std::string> items;
    if (text.size() < 2)
        return items;
    std::istringstream in(text.substr(1, text.size() - 2));
    for (std::string item; std::getline(in, item, ',');)
        items.push_back(item);
    return items;
}

std::string Text(const PgResult& r, int row, int column) {
    return PQgetisnull(r.get(), row, column) ? std::string()
                                             : std::string(PQgetvalue(r.get(), row, column));
}

template <typename T> std::optional<T> OptionalNumber(const PgResult& r, int row, int column) {
    if (PQgetisnull(r.get(), row, column))
        return std::nullopt;
    return static_cast<T>(std::stoll(PQgetvalue(r.get(), row, column)));
}

PgParam Optional(const std::string& text) {
    return text.empty() ? std::nullopt : PgParam(text);
}

// The rows of a listing's result, read with the columns of List.
void ReadEntries(const PgResult& r, std::vector<Entry>& entries) {
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        Entry e;
        e.id = std::stoll(Text(r, i, 0));
        e.time = Text(r, i, 1);
        e.station = Text(r, i, 2);
        e.program = Text(r, i, 3);
        e.reader = Text(r, i, 4);
        e.operation = Text(r, i, 5);
        e.serialNew = OptionalNumber<std::int64_t>(r, i, 6);
        e.serialOld = OptionalNumber<std::int64_t>(r, i, 7);
        e.supplier = OptionalNumber<int>(r, i, 8);
        e.kind = OptionalNumber<int>(r, i, 9);
        e.credits = OptionalNumber<int>(r, i, 10);
        e.attemptsLeft = OptionalNumber<int>(r, i, 11);
        e.outcome = Text(r, i, 12);
        e.before = FromByteaText(Text(r, i, 13));
        e.after = FromByteaText(Text(r, i, 14));
        e.key = Text(r, i, 15);
        e.login = Text(r, i, 16);
        if (PQnfields(r.get()) > 17)
            e.reason = Text(r, i, 17);
        entries.push_back(std::move(e));
    }
}

// A page's columns, as ReadEntries reads them, without the card images.
constexpr const char* kRowSelect =
    "SELECT id, to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), station, "
    "program, reader, operation, serial_new, serial_old, supplier, kind, credits, attempts_left, "
    "outcome, NULL, NULL, replace(uuid::text, '-', ''), login FROM ";

constexpr std::chrono::milliseconds kSlice{20};

} // namespace

// One call on the server: it holds the connection, waiting for another call within the
// program's limit (or not at all), and its statements wait within the same patience.
class PgJournal::Call {
public:
    Call(PgJournal& journal, base::Waiting* waiting, bool waitForOthers = true)
        : journal_(journal), patience_(waiting, kServerWaiting) {
        if (!waitForOthers)
            held_ = journal.mutex_.try_lock();
        else
            while (!(held_ = journal.mutex_.try_lock_for(kSlice)) && patience_.Still()) {
            }
        if (held_ && waitForOthers) // a card's call: it tells whether it found the server busy
            journal_.busy_ = false;
        // The program's limit as it is now: "Réglages" may have changed it since the last call.
        if (held_)
            journal_.connection_.SetWaitLimit(journal_.waiting_ ? journal_.waiting_->limit()
                                                                : base::kDefaultWaitLimit);
    }
    ~Call() {
        if (held_)
            journal_.mutex_.unlock();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // False with the reason when the connection stayed with another call.
    bool Held(std::string& error) {
        if (held_)
            return true;
        journal_.busy_ = true;
        error =
            "serveur " + journal_.Location() + " : occupé par une autre opération du poste" +
            (patience_.calledOff() ? std::string(", attente abandonnée")
                                   : " depuis " + std::to_string(patience_.waitedSeconds()) + " s");
        return false;
    }
    bool held() const { return held_; }
    base::Patience* patience() { return &patience_; }
    // The statement ended: whether it failed as busy.
    bool Done(bool ok) {
        journal_.busy_ = !ok && journal_.connection_.busy();
        return ok;
    }

private:
    PgJournal& journal_;
    base::Patience patience_;
    bool held_ = false;
};

PgJournal::PgJournal(std::string address, std::string spoolPath)
    : SpoolingJournal(std::move(spoolPath)), connection_(address), listConnection_(address),
      site_("adresse " + connection_.address()) {
    Recount();
}

std::string PgJournal::SpoolSite() const {
    const std::lock_guard lock(siteMutex_);
    return site_;
}

void PgJournal::LearnSite(base::Patience* patience) {
    PgResult r;
    std::string error;
    if (!connection_.Exec("SELECT ostrel.site_id()::text", {}, &r, error, true, patience) ||
        PQgetisnull(r.get(), 0, 0))
        return;
    const std::string site = std::string("site ") + PQgetvalue(r.get(), 0, 0);
    // Kept before the site was known, under this spelling of its address.
    if (!spool_.Rename("adresse " + connection_.address(), site, error))
        return;
    {
        const std::lock_guard lock(siteMutex_);
        site_ = site;
    }
    Recount();
}

void PgJournal::SetWaiting(base::Waiting* waiting) {
    waiting_ = waiting;
}

bool PgJournal::Open(std::string& error) {
    Call call(*this, waiting_);
    if (!call.Held(error) || !call.Done(connection_.Connect(error, call.patience())))
        return false;
    LearnSite(call.patience());
    std::string unsent;
    // A spool that cannot be sent now waits for the next operation; it stops none.
    SendPendingLocked(unsent, call.patience());
    return true;
}

bool PgJournal::Add(const Entry& entry, std::int64_t& id, std::string& error) {
    Call call(*this, waiting_);
    if (!call.Held(error))
        return false;
    PgResult r;
    if (entry.operation == kReplacement) {
        // The new card's serial was given by its format: the server checks it did.
        if (!call.Done(connection_.Exec(
                "SELECT ostrel.add_replacement($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
                {KeyOf(entry), entry.station, entry.program, entry.reader,
                 OldSerial(entry.serialOld), Number(entry.serialNew), Number(entry.supplier),
                 Number(entry.kind), Number(entry.credits), Bytes(entry.before)},
                &r, error, true, call.patience())))
            return false;
        id = std::stoll(PQgetvalue(r.get(), 0, 0));
        return true;
    }
    if (entry.serialNew) {
        error = "serveur " + Location() + " : un numéro de série ne se donne que par réservation";
        return false;
    }
    // Sent again after a lost answer, the same key finds the row made the first time.
    if (!call.Done(
            connection_.Exec("SELECT ostrel.add_operation($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
                             {KeyOf(entry), entry.station, entry.program, entry.reader,
                              entry.operation, OldSerial(entry.serialOld), Number(entry.supplier),
                              Number(entry.kind), Number(entry.credits), Bytes(entry.before)},
                             &r, error, true, call.patience())))
        return false;
    id = std::stoll(PQgetvalue(r.get(), 0, 0));
    return true;
}

bool PgJournal::Record(const Entry& entry, std::int64_t& id, std::string& error) {
    if (!RecordedAsAdded(entry, error))
        return false;
    Call call(*this, waiting_);
    if (!call.Held(error))
        return false;
    PgResult r;
    if (!call.Done(connection_.Exec(
            "SELECT ostrel.record_operation($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)",
            {KeyOf(entry), entry.station, entry.program, entry.reader, entry.operation,
             OldSerial(entry.serialOld), Number(entry.kind), Number(entry.credits), entry.outcome,
             Optional(entry.reason), Bytes(entry.before)},
            &r, error, true, call.patience())))
        return false;
    id = std::stoll(PQgetvalue(r.get(), 0, 0));
    return true;
}

bool PgJournal::Reserve(const Entry& entry, std::int64_t& serial, std::int64_t& id,
                        std::vector<SkippedSerial>& skipped, std::string& error) {
    Call call(*this, waiting_);
    skipped.clear();
    if (!call.Held(error))
        return false;
    PgResult r;
    // Waits for the series row while another station reserves, within the program's limit.
    if (!call.Done(connection_.Exec("SELECT serial, row_id, skipped, skipped_seen "
                                    "FROM ostrel.reserve_serial($1, $2, $3, $4, $5, $6, $7)",
                                    {KeyOf(entry), entry.station, entry.program, entry.reader,
                                     Number(entry.supplier), Bytes(entry.before),
                                     OldSerial(entry.serialOld)},
                                    &r, error, true, call.patience())))
        return false;
    serial = std::stoll(PQgetvalue(r.get(), 0, 0));
    id = std::stoll(PQgetvalue(r.get(), 0, 1));
    const std::vector<std::string> serials = ArrayItems(Text(r, 0, 2));
    const std::vector<std::string> seen = ArrayItems(Text(r, 0, 3));
    for (std::size_t i = 0; i < serials.size(); ++i)
        skipped.push_back({std::stoll(serials[i]), i < seen.size() ? seen[i] : std::string()});
    return true;
}

bool PgJournal::ReadNextSerial(std::optional<std::int64_t>& next, std::string& error, Call& call) {
    PgResult r;
    if (!call.Done(
            connection_.Exec("SELECT ostrel.next_serial()", {}, &r, error, true, call.patience())))
        return false;
    next = OptionalNumber<std::int64_t>(r, 0, 0);
    return true;
}

bool PgJournal::NextSerial(std::optional<std::int64_t>& next, std::string& error) {
    Call call(*this, waiting_);
    return call.Held(error) && ReadNextSerial(next, error, call);
}

bool PgJournal::GlanceNextSerial(std::optional<std::int64_t>& next, bool& inUse, std::string& error,
                                 base::Waiting* waiting) {
    next.reset();
    Call call(*this, waiting, false);
    inUse = !call.held();
    if (inUse)
        return true; // by a card's operation: shown after it
    // Whether a card's call found the server busy stays as it was.
    PgResult r;
    if (!connection_.Exec("SELECT ostrel.next_serial()", {}, &r, error, true, call.patience()))
        return false;
    next = OptionalNumber<std::int64_t>(r, 0, 0);
    return true;
}

bool PgJournal::Finish(std::int64_t id, const std::string& outcome, std::optional<int> attemptsLeft,
                       const std::string& after, std::string& error) {
    Call call(*this, waiting_);
    if (!call.Held(error))
        return false;
    PgResult r;
    // Exactly the one row: one gone, or already finished otherwise, is refused by the server.
    if (!call.Done(
            connection_.Exec("SELECT ostrel.finish_operation($1, $2, $3, $4)",
                             {std::to_string(id), outcome, Number(attemptsLeft), Bytes(after)}, &r,
                             error, true, call.patience())))
        return false;
    if (Text(r, 0, 0) == "1")
        return true;
    error = "serveur " + Location() + " : opération " + std::to_string(id) + " non terminée";
    return false;
}

bool PgJournal::SendPending(std::string& error) {
    // Nobody is told of this wait: it is no card's.
    Call call(*this, nullptr, false);
    return call.Held(error) && SendPendingLocked(error, call.patience());
}

bool PgJournal::SendPendingLocked(std::string& error, base::Patience* patience) {
    return SendSpooled(
        [&](const Entry& e, std::string& why) {
            if (connection_.Exec(
                    "SELECT ostrel.finish_operation($1, $2, $3, $4)",
                    {std::to_string(e.id), e.outcome, Number(e.attemptsLeft), Bytes(e.after)},
                    nullptr, why, true, patience))
                return Delivery::Delivered;
            // Away or busy: the entries wait, in their order. Refused: this one waits aside.
            return connection_.lost() || connection_.busy() || connection_.sqlState().empty()
                       ? Delivery::Unreachable
                       : Delivery::Refused;
        },
        error);
}

bool PgJournal::IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                         std::string& error) {
    Call call(*this, waiting_);
    time.reset();
    if (!call.Held(error))
        return false;
    PgResult r;
    if (!call.Done(connection_.Exec(std::string("SELECT to_char(t AT TIME ZONE 'UTC', "
                                                "'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') "
                                                "FROM ostrel.issued_at($1) AS t"),
                                    {std::to_string(serial)}, &r, error, true, call.patience())))
        return false;
    if (!PQgetisnull(r.get(), 0, 0))
        time = Text(r, 0, 0);
    return true;
}

bool PgJournal::UnfinishedFormat(std::int64_t serial, std::optional<std::int64_t>& id,
                                 std::string& error) {
    Call call(*this, waiting_);
    id.reset();
    if (!call.Held(error))
        return false;
    PgResult r;
    if (!call.Done(connection_.Exec("SELECT ostrel.unfinished_format($1)", {std::to_string(serial)},
                                    &r, error, true, call.patience())))
        return false;
    id = OptionalNumber<std::int64_t>(r, 0, 0);
    return true;
}

bool PgJournal::List(const Filter& filter, std::vector<Entry>& entries, std::string& error) {
    const std::lock_guard lock(listMutex_);
    // Within the program's limit, called off with the view that asked; the status line is the
    // card operations'.
    base::Patience patience(waiting_, {});
    entries.clear();
    PgResult r;
    const std::string sql =
        std::string("SELECT id, ") + kUtcTimeSql +
        ", station, program, reader, operation, serial_new, serial_old, supplier, kind, "
        "credits, attempts_left, outcome, card_before, card_after, "
        "replace(uuid::text, '-', ''), login, reason FROM ostrel.list_operations($1, $2)";
    if (!listConnection_.Exec(sql,
                              {Number(filter.serial), filter.since.empty()
                                                          ? std::nullopt
                                                          : PgParam(filter.since + "T00:00:00Z")},
                              &r, error, true, &patience))
        return false;
    ReadEntries(r, entries);
    return true;
}

bool PgJournal::ListCall(const std::string& sql, const std::vector<PgParam>& params, PgResult& r,
                         std::string& error) {
    const std::lock_guard lock(listMutex_);
    base::Patience patience(waiting_, {});
    return listConnection_.Exec(sql, params, &r, error, true, &patience);
}

bool PgJournal::Page(const RowFilter& filter, std::optional<std::int64_t> after, int limit,
                     std::vector<Entry>& rows, std::string& error) {
    rows.clear();
    const std::vector<PgParam> bounds = {Number(after),
                                         Optional(filter.from),
                                         Optional(filter.before),
                                         Optional(filter.station),
                                         Optional(filter.operation),
                                         Optional(filter.outcome),
                                         std::to_string(limit)};
    std::vector<PgParam> params;
    if (filter.serial)
        params.push_back(std::to_string(*filter.serial));
    params.insert(params.end(), bounds.begin(), bounds.end());
    PgResult r;
    if (!ListCall(std::string(kRowSelect) +
                      (filter.serial
                           ? "ostrel.page_operations_of_serial($1, $2, $3, $4, $5, $6, $7, $8)"
                           : "ostrel.page_operations($1, $2, $3, $4, $5, $6, $7)"),
                  params, r, error))
        return false;
    ReadEntries(r, rows);
    return true;
}

bool PgJournal::CountUpTo(const RowFilter& filter, std::int64_t cap, std::int64_t& count,
                          std::string& error) {
    count = 0;
    PgResult r;
    if (!ListCall("SELECT ostrel.count_operations($1, $2, $3, $4, $5, $6, $7)",
                  {Number(filter.serial), Optional(filter.from), Optional(filter.before),
                   Optional(filter.station), Optional(filter.operation), Optional(filter.outcome),
                   std::to_string(cap)},
                  r, error))
        return false;
    count = OptionalNumber<std::int64_t>(r, 0, 0).value_or(0);
    return true;
}

bool PgJournal::Images(std::int64_t id, std::string& before, std::string& after,
                       std::string& error) {
    before.clear();
    after.clear();
    PgResult r;
    if (!ListCall("SELECT card_before, card_after FROM ostrel.operation_images($1)",
                  {std::to_string(id)}, r, error))
        return false;
    if (PQntuples(r.get()) == 1) {
        before = FromByteaText(Text(r, 0, 0));
        after = FromByteaText(Text(r, 0, 1));
    }
    return true;
}

bool PgJournal::History(std::int64_t serial, std::vector<Entry>& rows, std::string& error) {
    rows.clear();
    PgResult r;
    if (!ListCall(std::string("SELECT id, ") + kUtcTimeSql +
                      ", station, program, reader, operation, serial_new, serial_old, supplier, "
                      "kind, credits, attempts_left, outcome, card_before, card_after, "
                      "replace(uuid::text, '-', ''), login, reason FROM ostrel.card_history($1)",
                  {std::to_string(serial)}, r, error))
        return false;
    ReadEntries(r, rows);
    return true;
}

bool PgJournal::CountByDay(const std::string& zone, const std::string& since,
                           const std::string& until, bool byStation, std::vector<DayCount>& counts,
                           std::string& error) {
    counts.clear();
    PgResult r;
    if (!ListCall(byStation ? "SELECT day, operation, outcome, credits, n, credit_sum, station "
                              "FROM ostrel.daily_counts_by_station($1, $2, $3)"
                            : "SELECT day, operation, outcome, credits, n, credit_sum, '' "
                              "FROM ostrel.daily_counts($1, $2, $3)",
                  {zone, Optional(since), Optional(until)}, r, error))
        return false;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        DayCount c;
        c.day = Text(r, i, 0);
        c.operation = Text(r, i, 1);
        c.outcome = Text(r, i, 2);
        c.credits = OptionalNumber<int>(r, i, 3);
        c.rows = OptionalNumber<std::int64_t>(r, i, 4).value_or(0);
        c.creditSum = OptionalNumber<std::int64_t>(r, i, 5).value_or(0);
        c.station = Text(r, i, 6);
        counts.push_back(std::move(c));
    }
    return true;
}

} // namespace ostrel::journal
