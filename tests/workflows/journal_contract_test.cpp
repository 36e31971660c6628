// What every journal and its series promise, whichever keeps them (this station's file and
// configuration, or the server a site shares): serials seen on cards passed over, an end the
// journal cannot take kept and delivered, one refused set aside without holding up the others,
// formats cut off found again, rows newest first. Each test runs on both.
#include "card/card_layout.h"
#include "card/codecs.h"
#include "cli_run.h"
#include "journal/card_standing.h"
#include "journal/daily_totals.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"
#include "journal/outcome_spool.h"
#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "pg_test_database.h"
#include "reader/virtual_card_file.h"
#include "temp_folder.h"
#include "test_cards.h"
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
        dir.write("c.ini", "[Format]\nNextSerial=" + std::to_string(kFirst) +
                               "\n[Station]\nName=Guichet 1\n");
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
    // What ostrel-card is given: the station's journal, and the administrator's.
    std::string Place() const { return dir.path("journal.sqlite"); }
    std::string AdminPlace() const { return Place(); }
};

// The server a site shares, reached by a station login.
struct ServerBackend {
    TempFolder dir{"ostrel-contract"};
    PgTestDatabase db{"contract", dir.dir().string()};
    std::unique_ptr<journal::PgJournal> journal;
    std::unique_ptr<workflows::SerialSeries> series;
    std::string station; // the station login's address

    std::string Start() {
        if (!db.present())
            return db.why();
        if (!db.ok())
            return db.why();
        db.Run(db.adminUri(),
               "INSERT INTO ostrel.series(next_serial) VALUES (" + std::to_string(kFirst) + ")");
        dir.write("c.ini", "[Station]\nName=Guichet 1\n");
        station = db.Station("contract");
        Open();
        return {};
    }
    void Open() {
        journal = std::make_unique<journal::PgJournal>(station, dir.path("spool.sqlite"));
        series = std::make_unique<workflows::ServerSerialSeries>(*journal);
    }
    void Break() { ASSERT_EQ(PgTestDatabase::StopImmediately(), 0); }
    void Mend() { ASSERT_EQ(PgTestDatabase::Start(), 0); }
    std::string Place() const { return station; }
    std::string AdminPlace() const { return db.adminUri(); }
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

    // ostrel-card on this station, its journal the backend's; card: a virtual card file.
    CliRun Card(const std::string& card, std::vector<std::string> args, bool admin = false) {
        std::vector<std::string> line = {"--config", backend.dir.path("c.ini"), "--journal",
                                         admin ? backend.AdminPlace() : backend.Place()};
        if (!card.empty())
            line.insert(line.end(), {"--reader", "sim:" + backend.dir.path(card)});
        line.insert(line.end(), args.begin(), args.end());
        return OstrelCard(line);
    }
    std::string NewBlankCard(const std::string& name) {
        EXPECT_TRUE(reader::SaveCardFile(backend.dir.path(name), BlankCard()->chip()).ok);
        return name;
    }
    card::CardMemory Memory(const std::string& name) {
        reader::Sle4442Chip chip;
        EXPECT_TRUE(reader::LoadCardFile(backend.dir.path(name), chip).ok);
        return chip.memory();
    }
    void SetCredits(const std::string& name, std::uint8_t kind, std::uint8_t credits) {
        reader::Sle4442Chip chip;
        ASSERT_TRUE(reader::LoadCardFile(backend.dir.path(name), chip).ok);
        chip.memory()[card::layout::kDisposableKind] = kind;
        chip.memory()[card::layout::kDisposableValue] = credits;
        ASSERT_TRUE(reader::SaveCardFile(backend.dir.path(name), chip).ok);
    }
    std::int64_t Serial(const std::string& name) { return card::ReadCardLong(Memory(name), 13); }
    std::vector<journal::Entry> History(std::int64_t serial) {
        std::vector<journal::Entry> rows;
        std::string error;
        EXPECT_TRUE(records().History(serial, rows, error)) << error;
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

// What a card's last write says against what the card holds: only credits raised or the kind
// changed are said; a rewrite, which puts the card's own bytes back, does not make a changed
// card the journal's; a finding is recorded once per write.
TEST(CardStanding, InsertionsAreComparedWithTheLastWrite) {
    using namespace card::layout;
    const auto image = [](int kind, int credits) {
        card::CardMemory m = card::FilledMemory(0xFF);
        m[kDisposableKind] = static_cast<std::uint8_t>(kind);
        m[kDisposableValue] = static_cast<std::uint8_t>(credits);
        return m;
    };
    const auto row = [](int id, const char* operation, const char* outcome,
                        card::CardMemory after) {
        journal::Entry e;
        e.id = id;
        e.time = "2026-12-09T12:00:00Z";
        e.station = "Guichet 1";
        e.operation = operation;
        e.outcome = outcome;
        e.serialOld = 1000000;
        if (std::string(operation) == journal::kFormat) {
            e.serialNew = 1000000;
            e.serialOld.reset();
        }
        e.after.assign(after.begin(), after.end());
        return e;
    };
    const std::vector<journal::Entry> written = {
        row(1, journal::kFormat, journal::kVerified, image(0xFF, 0xFF)),
        row(2, journal::kCredit, journal::kVerified, image(kKindCredit, 20)),
        row(3, journal::kCredit, journal::kWriteFailed, image(kKindCredit, 90))};
    std::vector<journal::Entry> rewritten = written;
    rewritten.push_back(row(4, journal::kRewrite, journal::kVerified, image(kKindCredit, 50)));
    const std::string day = journal::DayText("2026-12-09T12:00:00Z");
    const std::string modified50 =
        "Carte modifiée hors poste : 50 crédits, 20 écrits le " + day + " par Guichet 1";
    const struct {
        const char* name;
        std::vector<journal::Entry> history;
        bool journalHasRows;
        card::CardMemory card;
        std::string outcome, text;
    } cases[] = {
        {"credits raised", written, true, image(kKindCredit, 50), journal::kModifiedOutside,
         modified50},
        {"raised, then rewritten", rewritten, true, image(kKindCredit, 50),
         journal::kModifiedOutside, modified50},
        {"kind changed", written, true, image(kKindToken, 20), journal::kModifiedOutside,
         "Carte modifiée hors poste : 20 crédits, 20 écrits le " + day + " par Guichet 1"},
        {"credits spent", written, true, image(kKindCredit, 5), "", ""},
        {"as written", written, true, image(kKindCredit, 20), "", ""},
        {"unknown serial",
         {},
         true,
         image(kKindCredit, 20),
         journal::kUnknownToJournal,
         "Carte inconnue du journal"},
        {"no journal row at all", {}, false, image(kKindCredit, 20), "", ""},
    };
    for (const auto& c : cases) {
        const journal::CardStanding standing = journal::StandingOf(1000000, c.history);
        const journal::CheckFinding found =
            journal::CompareWithJournal(c.card, standing, c.journalHasRows);
        EXPECT_EQ(found.outcome, c.outcome) << c.name;
        EXPECT_EQ(found.text, c.text) << c.name;
    }
    // Recorded once for the same bytes until the next write.
    std::vector<journal::Entry> checked = written;
    journal::Entry check = row(5, journal::kCheck, journal::kModifiedOutside, image(0, 0));
    const card::CardMemory raised = image(kKindCredit, 50);
    check.before.assign(raised.begin(), raised.end());
    checked.push_back(check);
    const auto found = [&](const std::vector<journal::Entry>& history) {
        const journal::CardStanding standing = journal::StandingOf(1000000, history);
        return journal::AlreadyRecorded(journal::CompareWithJournal(raised, standing, true),
                                        standing, raised);
    };
    EXPECT_TRUE(found(checked));
    checked.push_back(row(6, journal::kCredit, journal::kVerified, image(kKindCredit, 30)));
    EXPECT_FALSE(found(checked));
}

// Put in opposition, a card is refused every write before any code reaches it, on any station,
// until it is lifted (on a server, by the administrator alone); a card changed outside a
// station is said and recorded once.
TYPED_TEST(JournalContract, ACardInOppositionIsRefusedEveryWriteUntilLifted) {
    const std::string a = this->NewBlankCard("a.card");
    ASSERT_EQ(this->Card(a, {"format"}).status, 0);
    ASSERT_EQ(this->Card(a, {"credit", "20"}).status, 0);
    const std::int64_t serial = this->Serial(a);
    const std::string number = std::to_string(serial);
    CliRun run = this->Card({}, {"journal", "--oppose", number, "--reason", "perdue"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(this->Card({}, {"journal", "--oppose", number, "--reason", "x"}).status, 1);

    const card::CardMemory before = this->Memory(a);
    const std::string trace = this->backend.dir.path("credit.trace");
    run = this->Card(a, {"--trace=" + trace, "credit", "5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Carte en opposition depuis " + journal::DayText(journal::UtcNow()) +
                           " : perdue"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(this->backend.dir.read("credit.trace").find("00 04 00 00"), std::string::npos)
        << "a code was presented";
    EXPECT_EQ(this->Memory(a), before);
    run = this->Card({}, {"journal", "--oppositions"});
    EXPECT_NE(run.out.find(number + "\t"), std::string::npos) << run.out;

    run = this->Card({}, {"journal", "--lift", number});
    if (std::is_same_v<TypeParam, ServerBackend>) {
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("réservé à l'administrateur"), std::string::npos) << run.err;
        run = this->Card({}, {"journal", "--lift", number}, true);
    }
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(this->Card(a, {"credit", "7"}).status, 0);
    EXPECT_EQ(this->Memory(a)[card::layout::kDisposableValue], 7);

    this->SetCredits(a, card::layout::kKindCredit, 50);
    for (int shown = 0; shown < 2; ++shown) {
        run = this->Card(a, {"show"});
        EXPECT_NE(run.out.find("Carte modifiée hors poste : 50 crédits, 7 écrits le "),
                  std::string::npos)
            << run.out;
    }
    int checks = 0;
    for (const journal::Entry& row : this->History(serial))
        checks += row.operation == journal::kCheck && row.outcome == journal::kModifiedOutside;
    EXPECT_EQ(checks, 1);
}

// A replacement formats a blank card with a new serial and gives it the kind and credits of the
// lost card's last write, puts the lost card in opposition and links the two, once; the totals
// count it apart, by station.
TYPED_TEST(JournalContract, AReplacementCarriesTheLostCardsValueOnce) {
    const std::string lost = this->NewBlankCard("lost.card");
    ASSERT_EQ(this->Card(lost, {"format"}).status, 0);
    ASSERT_EQ(this->Card(lost, {"credit", "30"}).status, 0);
    const std::int64_t old = this->Serial(lost);
    const std::string empty = this->NewBlankCard("empty.card");
    ASSERT_EQ(this->Card(empty, {"format"}).status, 0);
    const std::string fresh = this->NewBlankCard("new.card");

    CliRun run = this->Card(fresh, {"replace", std::to_string(this->Serial(empty))});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ne porte aucun crédit"), std::string::npos) << run.err;
    ASSERT_EQ(
        this->Card({}, {"journal", "--oppose", std::to_string(old), "--reason", "volée"}).status,
        0);
    run = this->Card(fresh, {"replace", std::to_string(old)});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("volée ; remplacement seulement sur confirmation"), std::string::npos)
        << run.err;
    EXPECT_EQ(this->Memory(fresh), BlankCard()->chip().memory());

    const card::CardMemory lostBytes = this->Memory(lost);
    run = this->Card(fresh, {"replace", std::to_string(old), "--force"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::int64_t serial = this->Serial(fresh);
    EXPECT_EQ(run.out, "Carte " + std::to_string(old) + " remplacée par " + std::to_string(serial) +
                           " (30 crédits), retirez la carte\nserial: " + std::to_string(serial) +
                           "\nreplaced: " + std::to_string(old) + "\n");
    EXPECT_EQ(this->Memory(fresh)[card::layout::kDisposableKind], card::layout::kKindCredit);
    EXPECT_EQ(this->Memory(fresh)[card::layout::kDisposableValue], 30);
    EXPECT_EQ(this->Memory(lost), lostBytes);
    const std::vector<journal::Entry> rows = this->History(old);
    ASSERT_GE(rows.size(), 2u);
    const journal::Entry& link = rows[rows.size() - 2];
    EXPECT_EQ(link.operation, journal::kReplacement);
    EXPECT_EQ(link.serialNew, serial);
    EXPECT_EQ(link.outcome, journal::kVerified);
    EXPECT_EQ(rows.back().operation, journal::kOpposition);
    EXPECT_EQ(rows.back().reason, "remplacée par " + std::to_string(serial));

    const std::string other = this->NewBlankCard("other.card");
    run = this->Card(other, {"replace", std::to_string(old), "--force"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("déjà remplacée par " + std::to_string(serial)), std::string::npos)
        << run.err;
    run = this->Card(lost, {"show"});
    EXPECT_NE(run.out.find(" : remplacée par " + std::to_string(serial)), std::string::npos)
        << run.out;

    journal::Totals totals;
    std::string error;
    const std::string today = journal::LocalToday();
    ASSERT_TRUE(journal::ReadTotals(this->records(), today, today, totals, error, {true, {}}))
        << error;
    ASSERT_EQ(totals.days.size(), 1u);
    EXPECT_EQ(totals.days[0].station, "Guichet 1");
    EXPECT_EQ(totals.days[0].replacements, 1);
    EXPECT_EQ(totals.days[0].oppositions, 2); // "volée", then "remplacée par"
    EXPECT_EQ(totals.days[0].creditCards, 1);
}
