#include "pg_journal.h"

#include <libpq-fe.h>

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

std::string Text(const PgResult& r, int row, int column) {
    return PQgetisnull(r.get(), row, column) ? std::string()
                                             : std::string(PQgetvalue(r.get(), row, column));
}

template <typename T> std::optional<T> OptionalNumber(const PgResult& r, int row, int column) {
    if (PQgetisnull(r.get(), row, column))
        return std::nullopt;
    return static_cast<T>(std::stoll(PQgetvalue(r.get(), row, column)));
}

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
      site_("adresse " + address) {
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
    const std::lock_guard lock(mutex_);
    connection_.SetWaitLimit(waiting ? waiting->limit() : base::kDefaultWaitLimit);
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
    if (entry.serialNew) {
        error = "serveur " + Location() + " : un numéro de série ne se donne que par réservation";
        return false;
    }
    PgResult r;
    if (!call.Done(
            connection_.Exec("SELECT ostrel.add_operation($1, $2, $3, $4, $5, $6, $7, $8, $9)",
                             {entry.station, entry.program, entry.reader, entry.operation,
                              Number(entry.serialOld), Number(entry.supplier), Number(entry.kind),
                              Number(entry.credits), Bytes(entry.before)},
                             &r, error, true, call.patience())))
        return false;
    id = std::stoll(PQgetvalue(r.get(), 0, 0));
    return true;
}

bool PgJournal::Reserve(const Entry& entry, std::int64_t& serial, std::int64_t& id,
                        std::optional<std::string>& issuedTime, std::string& error) {
    Call call(*this, waiting_);
    issuedTime.reset();
    if (!call.Held(error))
        return false;
    PgResult r;
    // Waits for the series row while another station reserves, within the program's limit.
    if (!call.Done(
            connection_.Exec("SELECT serial, row_id FROM ostrel.reserve_serial($1, $2, $3, $4, $5)",
                             {entry.station, entry.program, entry.reader, Number(entry.supplier),
                              Bytes(entry.before)},
                             &r, error, true, call.patience()))) {
        if (connection_.sqlState() == "OS003")
            issuedTime = connection_.serverMessage(); // the time it was given
        return false;
    }
    serial = std::stoll(PQgetvalue(r.get(), 0, 0));
    id = std::stoll(PQgetvalue(r.get(), 0, 1));
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
    return call.Done(
        connection_.Exec("SELECT ostrel.finish_operation($1, $2, $3, $4)",
                         {std::to_string(id), outcome, Number(attemptsLeft), Bytes(after)}, nullptr,
                         error, true, call.patience()));
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
        "credits, attempts_left, outcome, card_before, card_after "
        "FROM ostrel.list_operations($1, $2)";
    if (!listConnection_.Exec(sql,
                              {Number(filter.serial), filter.since.empty()
                                                          ? std::nullopt
                                                          : PgParam(filter.since + "T00:00:00Z")},
                              &r, error, true, &patience))
        return false;
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
        entries.push_back(std::move(e));
    }
    return true;
}

} // namespace ostrel::journal
