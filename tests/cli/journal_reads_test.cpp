#include "../local_zone.h"
#include "../pg_test_database.h"
#include "../scripted_day.h"

#include "journal/card_history.h"
#include "journal/daily_totals.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"
#include "journal/pg_journal.h"
#include "journal/server_copy.h"
#include "journal/sqlite_journal.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>
#include <stdlib.h>

// The reads the journal answers itself (pages of the listing, counts, a card's images and
// history, totals by local day) against what the program computed from the whole journal read
// at once, on the scripted day and rows spread over local midnights and a change of summer
// time, in the file and on the server.
using namespace ostrel;

namespace {

// St John's: half-hour offset, summer time ending on 2026-11-01.
constexpr const char* kZone = "America/St_Johns";

// 300 rows every 47 minutes from 2026-10-26 on, of three stations, every operation and
// outcome, credits of every token programme and others.
void AddSpreadRows(const std::string& file) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const char* operations[] = {"crédit", "jeton", "réécriture", "formatage", "lecture"};
    const char* outcomes[] = {
        "écrite et vérifiée", "écrite et vérifiée", "code refusé", "échec d''écriture",
        "interrompue",        "carte verrouillée",  "annulée"};
    const int credits[] = {10, 9, 3, 7, 20, 1, 5};
    std::string sql = "BEGIN;";
    for (int i = 0; i < 300; ++i) {
        const std::time_t t = 1792972800 + static_cast<std::time_t>(i) * 47 * 60; // 2026-10-26
        std::tm utc{};
        ::gmtime_r(&t, &utc);
        char time[32];
        std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", &utc);
        const bool format = i % 5 == 3;
        sql += "INSERT INTO operations(time, program, reader, operation, serial_new, serial_old, "
               "credits, outcome, station) VALUES('" +
               std::string(time) + "', 'ostrel-card', 'sim', '" + operations[i % 5] + "', " +
               (format ? std::to_string(2000000 + i) : "NULL") + ", " +
               std::to_string(3000000 + i % 11) + ", " + std::to_string(credits[i % 7]) + ", '" +
               (format ? "écrite et vérifiée" : outcomes[i % 7]) + "', '" +
               std::string(1, static_cast<char>('A' + i % 3)) + "');";
    }
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, (sql + "COMMIT").c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

// The journal in the scripted day's file.
struct OnFile {
    OnFile(const TempFolder&, const std::string& file) : journal(file) {}
    std::string Skip() const { return {}; }
    journal::SqliteJournal journal;
};

// The same rows copied to a database of the private server, read by a station's login.
struct OnServer {
    OnServer(const TempFolder& dir, const std::string& file)
        : db("reads", dir.path("")),
          journal(db.ok() ? db.Station("reader") : std::string(), dir.path("spool.sqlite")) {
        if (!db.ok())
            return;
        journal::SqliteJournal local(file);
        std::vector<journal::Entry> entries;
        std::string fileId, error;
        journal::PgConnection admin(db.adminUri());
        journal::CopyReport report;
        EXPECT_TRUE(local.FileId(fileId, error) && local.List({}, entries, error) &&
                    journal::StartServerSeries(admin, 1000000, error) &&
                    journal::CopyToServer(entries, fileId, "Poste", admin, report, error))
            << error;
    }
    std::string Skip() const { return db.present() ? db.why() : "no server"; }
    PgTestDatabase db;
    journal::PgJournal journal;
};

template <typename Backend> class JournalReads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(day.Run(), (std::vector<int>{1, 1, 0, 0, 0, 0, 1, 1}));
        AddSpreadRows(day.journal());
        backend = std::make_unique<Backend>(dir, day.journal());
        if (!backend->Skip().empty())
            GTEST_SKIP() << backend->Skip();
        std::string error;
        ASSERT_TRUE(backend->journal.List({}, all, error)) << error;
        ASSERT_EQ(all.size(), 309u);
    }

    journal::Journal& records() { return backend->journal; }

    LocalZone zone{kZone};
    TempFolder dir{"ostrel-reads"};
    ScriptedDay day{dir};
    std::unique_ptr<Backend> backend;
    std::vector<journal::Entry> all; // as the program read it before, images included
};

using Backends = ::testing::Types<OnFile, OnServer>;
TYPED_TEST_SUITE(JournalReads, Backends);

std::string Csv(const journal::Totals& totals) {
    return journal::TotalsCsv(totals, ';');
}

} // namespace

TYPED_TEST(JournalReads, TotalsByTheJournalAreTheProgramsOwn) {
    const std::string today = journal::LocalToday();
    const std::pair<std::string, std::string> ranges[] = {
        {"", ""},
        {today, today},
        {"2026-10-31", "2026-11-01"}, // summer time ends in
                                      // between
        {"2026-10-29", ""},
        {"", "2026-10-30"},
        {"2026-11-02", "2026-11-02"},
        {"2027-01-01", ""},
    };
    for (const auto& [since, until] : ranges) {
        journal::Totals totals;
        std::string error;
        ASSERT_TRUE(journal::ReadTotals(this->records(), since, until, totals, error)) << error;
        EXPECT_EQ(Csv(totals), Csv(journal::SumByDay(this->all, since, until)))
            << since << " to " << until;
    }
    journal::Totals scripted;
    std::string error;
    ASSERT_TRUE(journal::ReadTotals(this->records(), today, today, scripted, error));
    EXPECT_EQ(journal::TotalsFields(scripted.total),
              (std::vector<std::string>{"total", "2", "1", "1", "12", "1", "0", "1", "0", "0", "0",
                                        "0",     "1", "1", "0", "1",  "1", "0", "0", "0", "0"}));
}

TYPED_TEST(JournalReads, HistoryAndImagesAreTheRowsOfTheWholeListing) {
    for (const std::int64_t serial : {1000000, 1000001, 3000004, 2000008, 999}) {
        std::vector<journal::Entry> history;
        std::string error;
        ASSERT_TRUE(journal::ReadCardHistory(this->records(), serial, history, error)) << error;
        std::vector<journal::Entry> expected;
        std::copy_if(this->all.rbegin(), this->all.rend(), std::back_inserter(expected),
                     [&](const journal::Entry& e) {
                         return e.serialNew == serial || e.serialOld == serial;
                     });
        std::sort(expected.begin(), expected.end(),
                  [](const auto& a, const auto& b) { return a.id < b.id; });
        ASSERT_EQ(history.size(), expected.size()) << serial;
        for (std::size_t i = 0; i < history.size(); ++i) {
            EXPECT_EQ(history[i].id, expected[i].id);
            EXPECT_EQ(history[i].time, expected[i].time);
            EXPECT_EQ(history[i].before, expected[i].before);
            EXPECT_EQ(history[i].after, expected[i].after);
        }
    }
    for (const journal::Entry& e : this->all) {
        std::string before, after, error;
        ASSERT_TRUE(this->records().Images(e.id, before, after, error)) << error;
        EXPECT_EQ(before, e.before) << e.id;
        EXPECT_EQ(after, e.after) << e.id;
    }
}

// Page after page, each filter gives exactly the rows it matches, newest first, and counts
// them up to its cap.
TYPED_TEST(JournalReads, PagesFollowOneAnotherUnderEveryFilter) {
    journal::RowFilter none, station, tokens, days, serial, nothing;
    station.station = "B";
    tokens.operation = journal::kToken;
    tokens.outcome = journal::kVerified;
    days.from = journal::LocalDayStart("2026-10-31");
    days.before = journal::LocalDayStart("2026-11-02");
    days.station = "A";
    serial.serial = 3000004;
    serial.from = days.from;
    nothing.outcome = "autre";
    for (const journal::RowFilter& filter : {none, station, tokens, days, serial, nothing}) {
        std::vector<journal::Entry> expected;
        std::copy_if(this->all.begin(), this->all.end(), std::back_inserter(expected),
                     [&](const journal::Entry& e) { return journal::RowMatches(e, filter); });
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return std::tie(a.time, a.id) > std::tie(b.time, b.id);
        });
        std::vector<journal::Entry> paged;
        std::optional<std::int64_t> after;
        std::string error;
        for (std::vector<journal::Entry> page;; after = page.back().id) {
            ASSERT_TRUE(this->records().Page(filter, after, 7, page, error)) << error;
            ASSERT_LE(page.size(), 7u);
            paged.insert(paged.end(), page.begin(), page.end());
            if (page.size() < 7)
                break;
        }
        ASSERT_EQ(paged.size(), expected.size()) << filter.station << filter.operation;
        for (std::size_t i = 0; i < paged.size(); ++i) {
            EXPECT_EQ(paged[i].id, expected[i].id) << i;
            EXPECT_EQ(paged[i].operation, expected[i].operation);
            EXPECT_EQ(paged[i].credits, expected[i].credits);
            EXPECT_TRUE(paged[i].before.empty() && paged[i].after.empty()) << "no images";
        }
        const auto n = static_cast<std::int64_t>(expected.size());
        std::int64_t count = 0;
        ASSERT_TRUE(this->records().CountUpTo(filter, 1000, count, error)) << error;
        EXPECT_EQ(count, n);
        ASSERT_TRUE(this->records().CountUpTo(filter, 5, count, error)) << error;
        EXPECT_EQ(count, std::min<std::int64_t>(n, 6));
    }
}
