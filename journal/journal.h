#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The record of every card operation: what was written, when, by which program, on which card,
// and how it ended. The interface lets the records, and the check that no serial is given
// twice, move from a local file to a server shared by several stations.
namespace ostrel::journal {

// How an operation ended, as stored and shown.
inline constexpr const char* kVerified = "écrite et vérifiée";
inline constexpr const char* kWriteFailed = "échec d'écriture";
inline constexpr const char* kInterrupted = "interrompue"; // until the operation reports
inline constexpr const char* kRefused = "code refusé";
inline constexpr const char* kLocked = "carte verrouillée"; // no attempt left: 0 recorded
// Nothing presented: the card's last attempt is kept for its owner. Not a refused code.
inline constexpr const char* kNotPresented = "non présenté (dernier essai)";
// A reserved format given up before any write to its card: it counts as no card.
inline constexpr const char* kCancelled = "annulée";

// The operations.
inline constexpr const char* kFormat = "formatage";
inline constexpr const char* kRewrite = "réécriture"; // a formatted card, its own bytes back
inline constexpr const char* kCredit = "crédit";
inline constexpr const char* kToken = "jeton";
inline constexpr const char* kShow = "lecture"; // a code presented to show a card, nothing written
// A card given the kind and credits of a lost one: serialOld the lost card's, serialNew its own.
inline constexpr const char* kReplacement = "remplacement";

// Rows that touch no card, complete when added (see Journal::Record).
// A card inserted that its last write does not explain: recorded only when the check found it.
inline constexpr const char* kCheck = "contrôle";
inline constexpr const char* kModifiedOutside = "modifiée hors poste";
inline constexpr const char* kUnknownToJournal = "inconnue du journal";
// A serial put in opposition (reason in Entry::reason), and the opposition lifted.
inline constexpr const char* kOpposition = "opposition";
inline constexpr const char* kLift = "levée d'opposition";
inline constexpr const char* kRecorded = "enregistrée";

struct Entry {
    std::int64_t id = 0;
    std::string time;    // UTC, ISO 8601: "2026-12-07T09:14:03Z"
    std::string station; // [Station] Name of the program's configuration, the host's name
    std::string program;
    std::string reader;
    std::string operation;
    std::optional<std::int64_t> serialNew; // the serial a format gives
    std::optional<std::int64_t> serialOld; // the serial the card held
    std::optional<int> supplier;           // byte 25
    std::optional<int> kind;               // byte 64 written
    std::optional<int> credits;            // byte 65 written
    std::optional<int> attemptsLeft;       // after a refused code
    std::string outcome = kInterrupted;
    std::string before; // the card's 256 bytes as read, empty when unknown
    std::string after;  // the 256 bytes it holds once written and verified, empty when unknown
    // The station's own random id of the operation (32 hex digits), made when the entry is
    // made if empty: a call sent again with it finds the row it made.
    std::string key;
    std::string login;  // the server login that added the row; empty in a file
    std::string reason; // an opposition's
};

// A serial a reservation passed over, and when the journal first knew it given or seen.
struct SkippedSerial {
    std::int64_t serial = 0;
    std::string seen; // UTC, ISO 8601
};

struct Filter {
    std::optional<std::int64_t> serial; // new or old
    std::string since;                  // "YYYY-MM-DD", UTC; empty for all
};

struct PendingOutcome; // outcome_spool.h

// The rows the listing shows, chosen by the journal itself (its indexes serve each filter).
struct RowFilter {
    std::optional<std::int64_t> serial; // given or held
    std::string from;                   // UTC, ISO 8601: rows at or after it; empty for no bound
    std::string before;                 // UTC: rows strictly before it; empty for no bound
    std::string station;
    std::string operation;
    std::string outcome; // each empty for any
};

// The rows of one local day with the same operation, outcome and, for tokens, credits: what
// the daily totals are summed from.
struct DayCount {
    std::string day;     // "YYYY-MM-DD", local time
    std::string station; // only when counted by station
    std::string operation;
    std::string outcome;
    std::optional<int> credits; // tokens only: the programme
    std::int64_t rows = 0;
    std::int64_t creditSum = 0; // of the rows' credits
};

class Journal {
public:
    virtual ~Journal() = default;

    // Opens the journal for writing, once; later calls only report. False with a French reason
    // naming the file: then no card operation may start.
    virtual bool Open(std::string& error) = 0;

    // Adds entry with its outcome (kInterrupted for an operation about to touch the card) and
    // the current time; its id is returned in id.
    virtual bool Add(const Entry& entry, std::int64_t& id, std::string& error) = 0;

    // The end of the operation added as id: exactly one row, still unfinished, changes, or the
    // call fails.
    virtual bool Finish(std::int64_t id, const std::string& outcome,
                        std::optional<int> attemptsLeft, const std::string& after,
                        std::string& error) = 0;

    // The time at which serial was first given to a card, or may have been (its format was
    // interrupted or its write failed), or at which a card was seen holding it; nothing when
    // it never was.
    virtual bool IssuedAt(std::int64_t serial, std::optional<std::string>& time,
                          std::string& error) = 0;

    // The format that gave serial and never ended as written and verified (interrupted, or its
    // write failed): its entry's id, or nothing. Such a card is formatted again in full with
    // that serial, and the entry finished.
    virtual bool UnfinishedFormat(std::int64_t serial, std::optional<std::int64_t>& id,
                                  std::string& error) = 0;

    // The entries, newest first.
    virtual bool List(const Filter& filter, std::vector<Entry>& entries, std::string& error) = 0;

    // At most limit rows matching filter, newest first (by time, then id), without their card
    // images; after a row's id, only the rows that follow it in that order.
    virtual bool Page(const RowFilter& filter, std::optional<std::int64_t> after, int limit,
                      std::vector<Entry>& rows, std::string& error) = 0;

    // How many rows match, counted up to cap + 1 at most: more than cap means "more than cap".
    virtual bool CountUpTo(const RowFilter& filter, std::int64_t cap, std::int64_t& count,
                           std::string& error) = 0;

    // The card images of the row id, empty when unknown.
    virtual bool Images(std::int64_t id, std::string& before, std::string& after,
                        std::string& error) = 0;

    // Every row of the card that received or held serial, oldest first, with its images.
    virtual bool History(std::int64_t serial, std::vector<Entry>& rows, std::string& error) = 0;

    // The rows grouped by local day in the IANA time zone zone (the station's), by station
    // when byStation, and by what the totals tell apart; since and until: local days,
    // included, empty for no bound.
    virtual bool CountByDay(const std::string& zone, const std::string& since,
                            const std::string& until, bool byStation, std::vector<DayCount>& counts,
                            std::string& error) = 0;

    // Adds a row that touches no card, its outcome final (kCheck, kOpposition, kLift): it
    // is never finished nor spooled. On a server, lifting an opposition is the administrator's.
    virtual bool Record(const Entry& entry, std::int64_t& id, std::string& error) = 0;

    // The file or place, for messages.
    virtual std::string Location() const = 0;

    // The end of an operation whose card was touched, when Finish could not record it: the
    // whole row (id, key, outcome, attempts left, after) is kept in the station's spool.
    virtual bool Keep(const Entry& finished, std::string& error) = 0;
    // Sends what the spool keeps for this journal, in order; an entry the journal refuses is
    // set aside with its reason and the others still go.
    virtual bool SendPending(std::string& error) = 0;
    // What waits to be sent, as the spool counts it; never waits on the journal.
    virtual std::size_t PendingCount() = 0;
    virtual bool ListPending(bool withSetAside, std::vector<PendingOutcome>& outcomes,
                             std::string& error) = 0;
    virtual std::string SpoolLocation() const = 0;
    // The last call failed because another program held the journal for the whole time limit:
    // it is busy, not broken.
    virtual bool busy() const { return false; }

    // Once, after the journal had to be opened anew because its file vanished or was replaced:
    // the warning for the operator, naming the file; empty otherwise.
    virtual std::string TakeWarning() { return {}; }
};

// Who writes the entries: set once by each program.
struct Writer {
    Journal* journal = nullptr;
    std::string program;   // "ostrel-admin", "ostrel-card"
    std::string reader;    // the reader's name as the operator chose it
    std::string station{}; // [Station] Name, else the host's name
};

} // namespace ostrel::journal
