// What every journal and its series promise, whichever keeps them (this station's file and
// configuration, or the server a site shares): serials seen on cards passed over, an end the
// journal cannot take kept and delivered, one refused set aside without holding up the others,
// formats cut off found again, rows newest first. Each test runs on both.
#include "journal/journal_text.h"
#include "journal/outcome_spool.h"
#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "pg_test_database.h"
#include "temp_folder.h"
#include "workflows/ini_serial_store.h"
#include "workflows/local_serial_series.h"
#include "workflows/server_serial_series.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

using namespace ostrel;

namespace {

constexpr std::int64_t kFirst = 1000000;

// This station's file, beside its configuration's NextSerial.
struct FileBackend {
    TempFolder dir{"ostrel-contract"};
    std::unique_ptr<workflows::IniSerialStore> ini;
    std::unique_ptr<journal::SqliteJournal> journal;
    std::unique_ptr<workflows::SerialSeries> series;

    std::string Start() {
        dir.write("c.ini", "[Format]\nNextSerial=" + std::to_string(kFirst) + "\n");
        ini = std::make_unique<workflows::IniSerialStore>(dir.path("c.ini"));
        Open();
        return {};
    }
    void Open() {
        journal = std::make_unique<journal::SqliteJournal>(dir.path("journal.sqlite"),
                                                           dir.path("spool.sqlite"));
        series = std::make_unique<workflows::LocalSerialSeries>(*ini);
    }
    // The journal out of reach for a while: its file taken away (made again empty on use).
    void Break() { std::filesystem::rename(dir.path("journal.sqlite"), dir.path("away.sqlite")); }
    void Mend() {}
};

// The server a site shares, reached by a station login.
struct ServerBackend {
    TempFolder dir{"ostrel-contract"};
    PgTestDatabase db{"contract", dir.dir().string()};
    std::unique_ptr<journal::PgJournal> journal;
    std::unique_ptr<workflows::SerialSeries> series;

    std::string Start() {
        if (!db.present())
            return db.why();
        if (!db.ok())
            return db.why();
        db.Run(db.adminUri(),
               "INSERT INTO ostrel.series(next_serial) VALUES (" + std::to_string(kFirst) + ")");
        Open();
        return {};
    }
    void Open() {
        journal =
            std::make_unique<journal::PgJournal>(db.Station("contract"), dir.path("spool.sqlite"));
        series = std::make_unique<workflows::ServerSerialSeries>(*journal);
    }
    void Break() { ASSERT_EQ(PgTestDatabase::StopImmediately(), 0); }
    void Mend() { ASSERT_EQ(PgTestDatabase::Start(), 0); }
};

template <typename Backend> struct JournalContract : ::testing::Test {
    Backend backend;

    void SetUp() override {
        if (const std::string why = backend.Start(); !why.empty()) {
            if (std::getenv("CI"))
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        std::string error;
        ASSERT_TRUE(backend.journal->Open(error)) << error;
    }
    journal::Journal& records() { return *backend.journal; }
    journal::Writer writer() { return {backend.journal.get(), "tests", "sim", "Guichet 1"}; }

    // A format reserved as the workflows reserve it; its record, to finish.
    std::int64_t Reserve(std::unique_ptr<workflows::JournalledOperation>& record,
                         std::string* warning = nullptr) {
        writer_ = writer();
        record =
            std::make_unique<workflows::JournalledOperation>(writer_, journal::kFormat, blank_);
        const workflows::Reservation r = backend.series->Reserve(writer_, *record);
        EXPECT_TRUE(r.serial) << r.refusal << " " << r.problem;
        if (warning)
            *warning = r.warning;
        return r.serial.value_or(0);
    }
    // A card seen holding serial: a rewrite of a formatted card that names it.
    void Sighting(std::int64_t serial) {
        writer_ = writer();
        workflows::JournalledOperation seen(writer_, journal::kRewrite, blank_);
        seen.entry().serialOld = serial;
        std::string error;
        ASSERT_TRUE(seen.Begin(error)) << error;
        ASSERT_TRUE(seen.Finish(journal::kVerified, std::nullopt, blank_, error)) << error;
    }
    std::vector<journal::Entry> Rows() {
        std::vector<journal::Entry> rows;
        std::string error;
        EXPECT_TRUE(records().List({}, rows, error)) << error;
        return rows;
    }

    journal::Writer writer_;
    card::CardMemory blank_{};
};

using Backends = ::testing::Types<FileBackend, ServerBackend>;
TYPED_TEST_SUITE(JournalContract, Backends);

TYPED_TEST(JournalContract, SerialsSeenOnCardsArePassedOverAndNamed) {
    this->Sighting(kFirst);
    this->Sighting(kFirst + 1);
    std::unique_ptr<workflows::JournalledOperation> record;
    std::string warning;
    EXPECT_EQ(this->Reserve(record, &warning), kFirst + 2);
    EXPECT_NE(warning.find(std::to_string(kFirst) + " à " + std::to_string(kFirst + 1)),
              std::string::npos)
        << warning;
    // The next one is not held up either, and names nothing.
    EXPECT_EQ(this->Reserve(record, &warning), kFirst + 3);
    EXPECT_EQ(warning, "");
}

TYPED_TEST(JournalContract, AnEndTheJournalCannotTakeIsKeptThenDelivered) {
    std::unique_ptr<workflows::JournalledOperation> record;
    const std::int64_t serial = this->Reserve(record);
    this->backend.Break();
    std::string error;
    EXPECT_TRUE(record->Finish(journal::kVerified, std::nullopt, this->blank_, error)) << error;
    EXPECT_FALSE(record->kept().empty());
    EXPECT_EQ(this->records().PendingCount(), 1u);
    this->backend.Mend();
    // Sent by the next program that opens the journal, once.
    this->backend.Open();
    ASSERT_TRUE(this->records().Open(error)) << error;
    EXPECT_EQ(this->records().PendingCount(), 0u);
    int rows = 0;
    for (const journal::Entry& e : this->Rows()) {
        if (e.serialNew == serial) {
            ++rows;
            EXPECT_EQ(e.outcome, journal::kVerified);
        }
    }
    EXPECT_EQ(rows, 1);
}

TYPED_TEST(JournalContract, AnEndTheJournalRefusesIsSetAsideAndTheOthersGo) {
    std::unique_ptr<workflows::JournalledOperation> first, second;
    this->Reserve(first);
    this->Reserve(second);
    std::string error;
    ASSERT_TRUE(first->Finish(journal::kVerified, std::nullopt, this->blank_, error)) << error;
    // A second end of a finished row, kept first, then one the journal still waits for.
    journal::Entry contrary = first->entry();
    contrary.outcome = journal::kWriteFailed;
    contrary.after.clear();
    ASSERT_TRUE(this->records().Keep(contrary, error)) << error;
    journal::Entry due = second->entry();
    due.outcome = journal::kVerified;
    ASSERT_TRUE(this->records().Keep(due, error)) << error;
    this->records().SendPending(error);
    EXPECT_EQ(this->records().PendingCount(), 0u);
    std::vector<journal::PendingOutcome> aside;
    ASSERT_TRUE(this->records().ListPending(true, aside, error)) << error;
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].entry.outcome, journal::kWriteFailed);
    EXPECT_FALSE(aside[0].setAside.empty());
    for (const journal::Entry& e : this->Rows())
        EXPECT_EQ(e.outcome, journal::kVerified) << e.id;
}

TYPED_TEST(JournalContract, AFormatCutOffOrFailedIsFoundAgainAndRowsComeNewestFirst) {
    std::unique_ptr<workflows::JournalledOperation> cut, failed;
    const std::int64_t a = this->Reserve(cut);
    const std::int64_t b = this->Reserve(failed);
    std::string error;
    ASSERT_TRUE(failed->Finish(journal::kWriteFailed, std::nullopt, std::nullopt, error)) << error;
    for (const std::int64_t serial : {a, b}) {
        std::optional<std::int64_t> id;
        ASSERT_TRUE(this->records().UnfinishedFormat(serial, id, error)) << error;
        ASSERT_TRUE(id) << serial;
        EXPECT_TRUE(this->records().Finish(*id, journal::kVerified, std::nullopt,
                                           std::string(256, '\0'), error))
            << error;
        // Finished: not found again, and finishing it otherwise is refused.
        ASSERT_TRUE(this->records().UnfinishedFormat(serial, id, error)) << error;
        EXPECT_FALSE(id) << serial;
    }
    const std::vector<journal::Entry> rows = this->Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].serialNew, b);
    EXPECT_EQ(rows[1].serialNew, a);
}

} // namespace
