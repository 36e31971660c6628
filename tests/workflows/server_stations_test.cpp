// Several stations sharing one serial series and one journal on a PostgreSQL server: one
// serial per card whatever runs at once or fails, a station that may add rows but never
// rewrite them, and a server out of reach that stops every write before the card is touched.
#include "base/waiting.h"
#include "card/codecs.h"
#include "cli_run.h"
#include "journal/journal_text.h"
#include "journal/operation_key.h"
#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "pg_test_database.h"
#include "reader/virtual_card_file.h"
#include "run_together.h"
#include "temp_folder.h"
#include "test_cards.h"
#include "workflows/serial_numbers.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <thread>

using namespace ostrel;

namespace {

constexpr int kStations = 4;
constexpr int kFormatsEach = 25;
constexpr std::int64_t kFirstSerial = 1000181; // the series crosses the marker's jump

struct SharedServer : ::testing::Test {
    TempFolder dir{"ostrel-stations"};
    PgTestDatabase db{"stations", dir.dir().string()};

    void SetUp() override {
        if (!db.present()) {
            if (std::getenv("CI"))
                FAIL() << db.why();
            GTEST_SKIP() << db.why();
        }
        ASSERT_TRUE(db.ok()) << db.why();
    }

    std::string BlankCardFile(const std::string& name, std::uint32_t code = 0x5E2B71) const {
        EXPECT_TRUE(reader::SaveCardFile(dir.path(name), BlankCard(0x04, code)->chip()).ok);
        return dir.path(name);
    }
    card::CardMemory Memory(const std::string& path) const {
        reader::Sle4442Chip chip;
        EXPECT_TRUE(reader::LoadCardFile(path, chip).ok);
        return chip.memory();
    }
    // Station i: its configuration file naming the server, and its own data folder.
    std::string StationConfig(int i, const std::string& address) const {
        const std::string name = "c" + std::to_string(i) + ".ini";
        dir.write(name, "[Station]\nName=Guichet " + std::to_string(i) +
                            "\n[Journal]\nServer=" + address + "\n");
        return dir.path(name);
    }
    std::string DataFolder(int i) const { return dir.path("data" + std::to_string(i)); }

    void StartSeries(std::int64_t next) {
        const CliRun run =
            OstrelCard({"journal", "--init-server", db.adminUri(), "--next", std::to_string(next)});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    std::int64_t ServerNext() const {
        return std::stoll(db.Query("SELECT next_serial FROM ostrel.series"));
    }
    std::vector<journal::Entry> ServerRows() const {
        journal::PgJournal server(db.adminUri(), dir.path("admin-spool.sqlite"));
        std::vector<journal::Entry> rows;
        std::string error;
        EXPECT_TRUE(server.List({}, rows, error)) << error;
        return rows;
    }

    // Every station formats its share of cards, one after the other; the stations at once.
    // cards[i] is formatted by station i % kStations.
    std::vector<std::string> FourStationsFormat(std::vector<std::string>& cards) {
        std::vector<std::vector<std::string>> stations;
        std::vector<std::string> configs;
        for (int s = 0; s < kStations; ++s)
            configs.push_back(StationConfig(s, db.Station("s" + std::to_string(s))));
        for (int i = 0; i < kStations * kFormatsEach; ++i)
            cards.push_back(BlankCardFile("card" + std::to_string(i)));
        for (int s = 0; s < kStations; ++s) {
            std::string script = "export OSTREL_DATA_DIR='" + DataFolder(s) + "'; for c in";
            for (std::size_t i = static_cast<std::size_t>(s); i < cards.size(); i += kStations)
                script += " '" + cards[i] + "'";
            script += std::string("; do '") + OSTREL_CARD_PROGRAM + "' --config '" +
                      configs[static_cast<std::size_t>(s)] + "' --reader sim:$c format 2>>'" +
                      dir.path("err" + std::to_string(s)) + "'; done";
            stations.push_back({"/bin/sh", "-c", script});
        }
        RunTogether(stations);
        return configs;
    }
};

// The private server's postmaster and its children, to freeze it as a hung host would be.
std::vector<pid_t> ServerProcesses() {
    std::ifstream pidFile(std::string(std::getenv("OSTREL_TEST_PG_DIR")) + "/data/postmaster.pid");
    pid_t postmaster = 0;
    pidFile >> postmaster;
    std::vector<pid_t> pids{postmaster};
    if (FILE* p = ::popen(("pgrep -P " + std::to_string(postmaster)).c_str(), "r")) {
        for (int pid = 0; std::fscanf(p, "%d", &pid) == 1;)
            pids.push_back(pid);
        ::pclose(p);
    }
    return pids;
}

void SignalAll(const std::vector<pid_t>& pids, int signal) {
    for (const pid_t pid : pids)
        ::kill(pid, signal);
}

std::int64_t Advanced(std::int64_t serial, int times) {
    for (int i = 0; i < times; ++i)
        serial = *workflows::NextMarkedSerial(serial);
    return serial;
}

} // namespace

TEST_F(SharedServer, FourStationsFormattingTogetherGiveOneSerialPerCard) {
    StartSeries(kFirstSerial);
    std::vector<std::string> cards;
    const auto start = std::chrono::steady_clock::now();
    FourStationsFormat(cards);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::set<std::int64_t> serials;
    for (const std::string& c : cards)
        serials.insert(card::ReadCardLong(Memory(c), card::layout::kSerialOffset));
    std::set<std::int64_t> expected;
    for (int i = 0; i < kStations * kFormatsEach; ++i)
        expected.insert(Advanced(kFirstSerial, i));
    EXPECT_EQ(serials, expected) << "the next 100 serials of the series, one per card";
    EXPECT_EQ(ServerNext(), Advanced(kFirstSerial, kStations * kFormatsEach));

    std::size_t verified = 0;
    for (const journal::Entry& row : ServerRows()) {
        const std::size_t index = std::stoul(row.reader.substr(row.reader.rfind("card") + 4));
        EXPECT_EQ(row.station, "Guichet " + std::to_string(index % kStations)) << row.reader;
        EXPECT_EQ(row.serialNew,
                  card::ReadCardLong(Memory(cards[index]), card::layout::kSerialOffset));
        verified += row.outcome == journal::kVerified && row.operation == journal::kFormat;
    }
    EXPECT_EQ(verified, cards.size());
    std::cout << "four stations: " << cards.size() << " formats in " << seconds << " s, "
              << serials.size() << " distinct serials, series advanced by " << cards.size() << ", "
              << verified << " rows verified\n";
}

TEST_F(SharedServer, AServerStoppedMidBatchLosesNoCardAndGivesNoSerialTwice) {
    StartSeries(kFirstSerial);
    {
        // Lost between the reservation and the end, as a batch may be at any moment: the end
        // is kept, then sent once the server answers, and only once.
        journal::PgJournal lone(db.Station("lone"), dir.path("lone-spool.sqlite"));
        journal::Entry entry;
        entry.station = "Guichet seul";
        std::int64_t serial = 0, id = 0;
        std::vector<journal::SkippedSerial> skipped;
        std::string error;
        ASSERT_TRUE(lone.Reserve(entry, serial, id, skipped, error)) << error;
        ASSERT_EQ(PgTestDatabase::StopImmediately(), 0);
        EXPECT_FALSE(lone.Finish(id, journal::kVerified, std::nullopt, "", error));
        entry.id = id;
        entry.outcome = journal::kVerified;
        EXPECT_TRUE(lone.Keep(entry, error)) << error;
        EXPECT_EQ(lone.PendingCount(), 1u);
        ASSERT_EQ(PgTestDatabase::Start(), 0);
        EXPECT_TRUE(lone.Open(error)) << error;
        EXPECT_EQ(lone.PendingCount(), 0u);
        EXPECT_EQ(
            db.Query("SELECT outcome FROM ostrel.operations WHERE id = " + std::to_string(id)),
            journal::kVerified);
    }
    const std::int64_t firstOfBatch = ServerNext();
    std::vector<std::string> cards;
    std::vector<std::string> originals;
    std::vector<std::string> configs;
    std::thread batch([&] { configs = FourStationsFormat(cards); });
    // Stopped as a crash stops it once a quarter of the rows are in, started again at once.
    while (std::stoi("0" + db.Query("SELECT count(*) FROM ostrel.operations")) < 26)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(PgTestDatabase::StopImmediately(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(PgTestDatabase::Start(), 0);
    batch.join();

    // What each station kept for the server, then sent with its next command.
    std::size_t spooled = 1; // the lone station's
    for (int s = 0; s < kStations; ++s) {
        ::setenv("OSTREL_DATA_DIR", DataFolder(s).c_str(), 1);
        const CliRun pending = OstrelCard({"journal", "--pending"});
        spooled +=
            static_cast<std::size_t>(std::count(pending.out.begin(), pending.out.end(), '\n')) - 1;
        EXPECT_EQ(OstrelCard({"--config", configs[static_cast<std::size_t>(s)], "journal"}).status,
                  0);
        EXPECT_EQ(OstrelCard({"journal", "--pending"}).out.find('\n') + 1,
                  OstrelCard({"journal", "--pending"}).out.size())
            << "sent, and nothing waits";
    }
    ::unsetenv("OSTREL_DATA_DIR");

    std::map<std::int64_t, journal::Entry> rows;
    for (const journal::Entry& row : ServerRows()) {
        if (row.outcome == journal::kVerified && *row.serialNew >= firstOfBatch)
            rows[*row.serialNew] = row;
    }
    const card::CardMemory blank = BlankCard()->chip().memory();
    std::set<std::int64_t> serials;
    std::size_t written = 0;
    for (const std::string& c : cards) {
        const card::CardMemory memory = Memory(c);
        if (memory == blank)
            continue; // refused: untouched
        ++written;
        const std::int64_t serial = card::ReadCardLong(memory, card::layout::kSerialOffset);
        EXPECT_TRUE(serials.insert(serial).second) << "serial " << serial << " on two cards";
        ASSERT_TRUE(rows.count(serial))
            << c << " written, not on the server: "
            << db.Query("SELECT string_agg(id || ' ' || outcome || ' ' || coalesce(serial_new, 0), "
                        "'; ') FROM ostrel.operations WHERE serial_new = " +
                        std::to_string(serial));
        EXPECT_EQ(rows[serial].reader, "sim:" + c);
    }
    EXPECT_EQ(rows.size(), written) << "a verified row for each card written, and no other";
    std::cout << "server stopped mid-batch: " << written << " cards written, " << serials.size()
              << " distinct serials, " << cards.size() - written << " refused untouched, "
              << spooled << " outcomes delivered from the spools\n";
}

TEST_F(SharedServer, AStationMayAddRowsButNeverRewriteThem) {
    StartSeries(1000000);
    const std::string station = db.Station("writer");
    ::setenv("OSTREL_DATA_DIR", dir.path("data").c_str(), 1);
    const CliRun formatted =
        OstrelCard({"--journal", station, "--reader", "sim:" + BlankCardFile("a"), "format"});
    ::unsetenv("OSTREL_DATA_DIR");
    ASSERT_EQ(formatted.status, 0) << formatted.err;
    const std::string id = db.Query("SELECT id FROM ostrel.operations");
    const struct {
        const char* sql;
        const char* refusal;
    } attempts[] = {
        {"DELETE FROM ostrel.operations", "permission denied"},
        {"UPDATE ostrel.operations SET outcome = 'interrompue'", "permission denied"},
        {"TRUNCATE ostrel.operations", "permission denied"},
        {"UPDATE ostrel.series SET next_serial = 1000000", "permission denied"},
        {"CREATE TABLE ostrel.extra(a int)", "permission denied"},
        {"INSERT INTO ostrel.operations(station, program, reader, operation, outcome) VALUES "
         "('x', 'x', 'x', 'formatage', 'interrompue')",
         "permission denied"},
        {"SELECT ostrel.finish_operation(ID, 'code refusé', 2, NULL)", "pas une opération"},
        {"SELECT ostrel.add_operation(gen_random_uuid(), 'x', 'x', 'x', 'effacement', NULL, NULL, "
         "NULL, NULL, NULL)",
         "refusée"},
    };
    for (const auto& attempt : attempts) {
        std::string sql = attempt.sql;
        if (const auto at = sql.find("ID"); at != std::string::npos)
            sql.replace(at, 2, id);
        const std::string said = PgTestDatabase::Run(station, sql);
        EXPECT_NE(said.find(attempt.refusal), std::string::npos) << sql << ": " << said;
    }
    EXPECT_EQ(db.Query("SELECT count(*) || ' ' || min(outcome) FROM ostrel.operations"),
              "1 écrite et vérifiée");
    EXPECT_EQ(ServerNext(), 1000001);
}

TEST_F(SharedServer, AServerOutOfReachOrRefusingStopsEveryWriteBeforeTheCardNotAShow) {
    StartSeries(1000000);
    const std::string port = std::getenv("OSTREL_TEST_PG_PORT");
    const std::string good = db.Station("good");
    const std::string role = good.substr(13, good.find('@') - 13);
    const struct {
        const char* what;
        std::string address;
        const char* reason; // libpq's words, after the French
        const char* french;
    } servers[] = {
        {"wrong password", db.Station("badpass", true), "password authentication failed",
         "mot de passe refusé"},
        {"no server", "postgresql://" + role + "@/x?host=" + dir.path("nowhere"),
         "No such file or directory", "serveur absent à ce dossier de socket"},
        {"TLS required",
         "postgresql://" + role + "@127.0.0.1:" + port + "/" + db.name() + "?sslmode=disable",
         "no encryption", "poste non autorisé par le serveur (pg_hba.conf)"},
    };
    const std::string card = BlankCardFile("a");
    const std::string text = dir.read("a");
    for (const auto& server : servers) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"format"}, {"credit", "5"}, {"token", "2"}}) {
            std::vector<std::string> args = {"--journal", server.address, "--reader",
                                             "sim:" + card};
            args.insert(args.end(), command.begin(), command.end());
            const CliRun run = OstrelCard(args);
            EXPECT_EQ(run.status, 1) << server.what << " " << command[0];
            EXPECT_NE(run.err.find(server.reason), std::string::npos) << server.what << run.err;
            EXPECT_NE(run.err.find(std::string(server.french) + " ("), std::string::npos)
                << server.what << run.err;
            EXPECT_NE(run.err.find("serveur " + server.address), std::string::npos) << run.err;
            EXPECT_EQ(dir.read("a"), text) << server.what << " " << command[0] << ": card touched";
        }
        // Showing a card writes nothing: it still works.
        const CliRun shown =
            OstrelCard({"--journal", server.address, "--reader", "sim:" + card, "show"});
        EXPECT_NE(shown.out.find("\nkind: "), std::string::npos) << server.what << shown.err;
    }
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations"), "0");
}

TEST_F(SharedServer, CopyingAStationsJournalTwiceAddsItOnceAndRefusesAConflictingSerial) {
    StartSeries(1000000);
    dir.write("a.ini", "[Station]\nName=A\n[Format]\nNextSerial=1000000\n");
    for (const char* name : {"a1", "a2", "a3"}) {
        const CliRun run =
            OstrelCard({"--config", dir.path("a.ini"), "--journal", dir.path("a.sqlite"),
                        "--reader", "sim:" + BlankCardFile(name), "format"});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    const std::vector<std::string> copy = {"--config",           dir.path("a.ini"), "--journal",
                                           dir.path("a.sqlite"), "journal",         "--copy-to",
                                           db.adminUri()};
    CliRun run = OstrelCard(copy);
    EXPECT_EQ(run.out, "copiées : 3, déjà sur le serveur : 0, prochain numéro du serveur : "
                       "1000003\n")
        << run.err;
    run = OstrelCard(copy);
    EXPECT_EQ(run.out, "copiées : 0, déjà sur le serveur : 3, prochain numéro du serveur : "
                       "1000003\n")
        << run.err;
    EXPECT_EQ(db.Query("SELECT string_agg(station || ':' || serial_new, ' ' ORDER BY id) "
                       "FROM ostrel.operations"),
              "A:1000000 A:1000001 A:1000002");

    // Another station that gave 1000001 on its own: refused by name, nothing copied.
    dir.write("b.ini", "[Station]\nName=B\n[Format]\nNextSerial=1000001\n");
    ASSERT_EQ(OstrelCard({"--config", dir.path("b.ini"), "--journal", dir.path("b.sqlite"),
                          "--reader", "sim:" + BlankCardFile("b1"), "format"})
                  .status,
              0);
    run = OstrelCard({"--config", dir.path("b.ini"), "--journal", dir.path("b.sqlite"), "journal",
                      "--copy-to", db.adminUri()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("déjà attribués à d'autres cartes sur le serveur : 1000001"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations"), "3");
}

TEST_F(SharedServer, ACardRefusedForItsCodeUsesNoSerial) {
    StartSeries(1000000);
    dir.write("one.ini", "[Format]\nNextSerial=1000000\n");
    const std::string station = db.Station("codes");
    const struct {
        const char* what;
        std::vector<std::string> place;
        std::function<std::string()> next;
    } places[] = {
        {"single station",
         {"--config", dir.path("one.ini"), "--journal", dir.path("one.sqlite")},
         [&] { return dir.read("one.ini"); }},
        {"server", {"--journal", station}, [&] { return std::to_string(ServerNext()); }},
    };
    ::setenv("OSTREL_DATA_DIR", dir.path("data").c_str(), 1);
    for (const auto& place : places) {
        const std::string before = place.next();
        std::vector<std::string> args = place.place;
        args.insert(args.end(), {"--reader", "sim:" + BlankCardFile("wrong", 0x123456), "format"});
        const CliRun refused = OstrelCard(args);
        EXPECT_EQ(refused.status, 1) << place.what;
        EXPECT_EQ(refused.err, "") << place.what << ": the refusal is recorded";
        EXPECT_EQ(place.next(), before) << place.what << ": a serial was used";
        args = place.place;
        args.insert(args.end(), {"--reader", "sim:" + BlankCardFile("right"), "format"});
        EXPECT_NE(OstrelCard(args).out.find("serial: 1000000\n"), std::string::npos) << place.what;
    }
    ::unsetenv("OSTREL_DATA_DIR");
}

TEST_F(SharedServer, TheSeriesRowHeldPastTheLimitRefusesTheCardUntouched) {
    StartSeries(1000000);
    journal::PgConnection other(db.adminUri());
    std::string error;
    ASSERT_TRUE(other.Exec("BEGIN", {}, nullptr, error)) << error;
    ASSERT_TRUE(
        other.Exec("SELECT next_serial FROM ostrel.series FOR UPDATE", {}, nullptr, error, false))
        << error;
    const std::string station = db.Station("held");
    dir.write("held.ini", "[Journal]\nServer=" + station + "\nAttente=1\n");
    const std::string card = BlankCardFile("held");
    const std::string text = dir.read("held");
    ::setenv("OSTREL_DATA_DIR", dir.path("data").c_str(), 1);
    const CliRun run =
        OstrelCard({"--config", dir.path("held.ini"), "--reader", "sim:" + card, "format"});
    ::unsetenv("OSTREL_DATA_DIR");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "Serveur du journal occupé par un autre poste : aucune carte n'est écrite\n");
    EXPECT_NE(run.err.find("serveur " + station + " : occupé par un autre poste depuis 1 s"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(dir.read("held"), text) << "card touched";
    other.Exec("ROLLBACK", {}, nullptr, error, false);
    EXPECT_EQ(ServerNext(), 1000000);
}

TEST_F(SharedServer, AStationLoginCannotDamageTheSeriesOrTheRecord) {
    StartSeries(1000000);
    const std::string login = db.Station("abuser");
    journal::PgJournal station(login, dir.path("abuser-spool.sqlite"));
    journal::Entry entry;
    entry.station = "Guichet";
    std::int64_t serial = 0, id = 0;
    std::vector<journal::SkippedSerial> skipped;
    std::string error;

    // A sighting of the next serial, as a card seen holding it would record: passed over,
    // and said, by every later reservation.
    EXPECT_EQ(PgTestDatabase::Run(login, "SELECT ostrel.add_operation(gen_random_uuid(), 'x', "
                                         "'x', 'x', 'réécriture', 1000000, NULL, NULL, NULL, "
                                         "NULL)"),
              "");
    ASSERT_TRUE(station.Reserve(entry, serial, id, skipped, error)) << error;
    EXPECT_EQ(serial, 1000001);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].serial, 1000000);
    EXPECT_EQ(skipped[0].seen.size(), std::string("2026-12-07T09:14:03Z").size());

    const std::string rowsBefore = db.Query("SELECT count(*) FROM ostrel.operations");
    const std::string row = std::to_string(id);
    const struct {
        std::string sql;
        const char* refusal;
    } attempts[] = {
        {"SELECT ostrel.finish_operation(" + row + ", 'code refusé', 2, NULL)",
         "refusée pour un formatage réservé"},
        {"SELECT ostrel.finish_operation(" + row + ", 'perdue', NULL, NULL)", "refusée"},
        {"SELECT ostrel.add_operation(gen_random_uuid(), 'x', 'x', 'x', 'crédit', NULL, NULL, "
         "NULL, 5, decode(repeat('00', 300), 'hex'))",
         "card_before_size"},
        {"SELECT ostrel.add_operation(gen_random_uuid(), 'x', 'x', 'x', 'crédit', -1, NULL, NULL, "
         "5, NULL)",
         "serial_old_in_range"},
        {"SELECT ostrel.add_operation(gen_random_uuid(), 'x', 'x', 'x', 'crédit', 4294967295, "
         "NULL, NULL, 5, NULL)",
         "serial_old_in_range"},
        {"SELECT ostrel.add_operation(gen_random_uuid(), repeat('x', 5000), 'x', 'x', 'crédit', "
         "NULL, NULL, NULL, 5, NULL)",
         "names_size"},
        {"SELECT ostrel.add_operation((SELECT uuid FROM ostrel.list_operations(NULL, NULL) "
         "WHERE id = " +
             row + "), 'x', 'x', 'x', 'formatage', NULL, NULL, NULL, NULL, NULL)",
         "déjà employée"},
    };
    for (const auto& attempt : attempts) {
        const std::string said = PgTestDatabase::Run(login, attempt.sql);
        EXPECT_NE(said.find(attempt.refusal), std::string::npos) << attempt.sql << ": " << said;
    }
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations"), rowsBefore);
    EXPECT_EQ(db.Query("SELECT ostrel.issued_at(1000001) IS NOT NULL"), "t")
        << "the reserved serial stays given";

    // Sent again after a lost answer, the same key gives the same row, never a second one.
    journal::Entry credit = entry;
    credit.operation = journal::kCredit;
    credit.serialOld = 4294967295; // a blank card's FF FF FF FF
    credit.key = journal::NewRandomKey();
    std::int64_t first = 0, again = 0;
    ASSERT_TRUE(station.Add(credit, first, error)) << error;
    ASSERT_TRUE(station.Add(credit, again, error)) << error;
    EXPECT_EQ(first, again);
    EXPECT_EQ(db.Query("SELECT serial_old IS NULL FROM ostrel.operations WHERE id = " +
                       std::to_string(first)),
              "t");
    // The listing shows the login beside a station name it does not match.
    std::vector<journal::Entry> listed;
    ASSERT_TRUE(station.List({}, listed, error)) << error;
    const std::string role = login.substr(13, login.find('@') - 13);
    EXPECT_EQ(journal::EntryFields(listed.at(0))[2], "Guichet (" + role + ")");
    journal::Entry reformat = entry;
    reformat.key = journal::NewRandomKey();
    reformat.serialOld = 1000001; // a partial card formatted again
    std::int64_t serialAgain = 0, idAgain = 0;
    ASSERT_TRUE(station.Reserve(reformat, serial, id, skipped, error)) << error;
    ASSERT_TRUE(station.Reserve(reformat, serialAgain, idAgain, skipped, error)) << error;
    EXPECT_EQ(std::make_pair(serial, id), std::make_pair(serialAgain, idAgain));
    EXPECT_EQ(ServerNext(), 1000003);
    EXPECT_EQ(db.Query("SELECT serial_old FROM ostrel.operations WHERE id = " + std::to_string(id)),
              "1000001");

    // Finishing changes exactly one row still open.
    EXPECT_TRUE(station.Finish(id, journal::kVerified, std::nullopt, "", error)) << error;
    EXPECT_TRUE(station.Finish(id, journal::kVerified, std::nullopt, "", error)) << "sent again";
    EXPECT_FALSE(station.Finish(id, journal::kWriteFailed, std::nullopt, "", error));
    EXPECT_FALSE(station.Finish(id + 1000, journal::kVerified, std::nullopt, "", error));

    // The last serial is given; after it the series is exhausted.
    db.Query("UPDATE ostrel.series SET next_serial = 999965439");
    ASSERT_TRUE(station.Reserve(entry, serial, id, skipped, error)) << error;
    EXPECT_EQ(serial, 999965439);
    EXPECT_FALSE(station.Reserve(entry, serial, id, skipped, error));
    EXPECT_NE(error.find("série épuisée"), std::string::npos) << error;
}

TEST_F(SharedServer, FourStationsFormatOnWhileCardsAreSeenHoldingTheNextSerials) {
    StartSeries(kFirstSerial);
    const std::string seer = db.Station("seer");
    std::atomic<bool> done{false};
    std::size_t sightings = 0;
    std::thread seeing([&] {
        while (!done) {
            const std::string next = db.Query("SELECT next_serial FROM ostrel.series");
            // Cards seen holding the next three serials, the series about to reach them.
            std::string sql;
            for (int ahead = 1; ahead <= 3; ++ahead)
                sql += "SELECT ostrel.add_operation(gen_random_uuid(), 'Vu', 'x', 'x', "
                       "'réécriture', " +
                       std::to_string(Advanced(std::stoll(next), ahead)) +
                       ", NULL, NULL, NULL, NULL); ";
            PgTestDatabase::Run(seer, sql);
            sightings += 3;
        }
    });
    std::vector<std::string> cards;
    FourStationsFormat(cards);
    done = true;
    seeing.join();

    std::set<std::int64_t> serials;
    for (const std::string& c : cards)
        serials.insert(card::ReadCardLong(Memory(c), card::layout::kSerialOffset));
    EXPECT_EQ(serials.size(), cards.size()) << "a serial on two cards, or a card not written";
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations WHERE operation = 'formatage' "
                       "AND outcome = 'écrite et vérifiée'"),
              std::to_string(cards.size()));
    // A serial seen before its reservation began was never given.
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations f JOIN ostrel.operations s "
                       "ON s.serial_old = f.serial_new AND s.operation = 'réécriture' "
                       "WHERE f.operation = 'formatage' "
                       "AND s.time < f.time - interval '500 milliseconds'"),
              "0");
    const std::string skipped =
        db.Query("SELECT count(DISTINCT s.serial_old) FROM ostrel.operations s "
                 "WHERE s.operation = 'réécriture' AND NOT EXISTS (SELECT FROM ostrel.operations f "
                 "WHERE f.serial_new = s.serial_old AND f.operation = 'formatage')");
    std::cout << "four stations and a seer: " << cards.size() << " cards, " << serials.size()
              << " distinct serials, " << sightings << " sightings, " << skipped
              << " serials passed over\n";
}

TEST_F(SharedServer, CopyingARecreatedJournalAndCreditRowsCopiesEveryRowAndRaisesOnlyRealSerials) {
    StartSeries(1000000);
    dir.write("a.ini", "[Station]\nName=A\n");
    const auto makeJournal = [&](std::initializer_list<std::pair<const char*, std::int64_t>> rows) {
        std::filesystem::remove(dir.path("a.sqlite"));
        journal::SqliteJournal file(dir.path("a.sqlite"));
        for (const auto& [operation, serial] : rows) {
            journal::Entry e;
            e.operation = operation;
            e.outcome = journal::kVerified;
            (e.operation == journal::kFormat ? e.serialNew : e.serialOld) = serial;
            std::int64_t id = 0;
            std::string error;
            ASSERT_TRUE(file.Add(e, id, error)) << error;
        }
    };
    const std::vector<std::string> copy = {"--config",           dir.path("a.ini"), "--journal",
                                           dir.path("a.sqlite"), "journal",         "--copy-to",
                                           db.adminUri()};
    // Credit and token rows of blank cards carry FF FF FF FF as their serial: none.
    makeJournal({{journal::kFormat, 1000000},
                 {journal::kCredit, 4294967295},
                 {journal::kToken, 4294967295},
                 {journal::kFormat, 1000001}});
    CliRun run = OstrelCard(copy);
    EXPECT_EQ(run.out, "copiées : 4, déjà sur le serveur : 0, prochain numéro du serveur : "
                       "1000002\n")
        << run.err;
    // The same name, made again: its rows 1 and 2 are other rows.
    makeJournal({{journal::kFormat, 1000002}, {journal::kCredit, 4294967295}});
    run = OstrelCard(copy);
    EXPECT_EQ(run.out, "copiées : 2, déjà sur le serveur : 0, prochain numéro du serveur : "
                       "1000003\n")
        << run.err;
    run = OstrelCard(copy);
    EXPECT_EQ(run.out, "copiées : 0, déjà sur le serveur : 2, prochain numéro du serveur : "
                       "1000003\n")
        << run.err;
    EXPECT_EQ(db.Query("SELECT count(*) || ' ' || count(serial_old) FROM ostrel.operations"),
              "6 0");
    // Stations go on from there.
    journal::PgJournal station(db.Station("after"), dir.path("after-spool.sqlite"));
    std::int64_t serial = 0, id = 0;
    std::vector<journal::SkippedSerial> skipped;
    std::string error;
    ASSERT_TRUE(station.Reserve({}, serial, id, skipped, error)) << error;
    EXPECT_EQ(serial, 1000003);
    EXPECT_TRUE(skipped.empty());
}

TEST_F(SharedServer, AFrozenServerHoldsAStationNoLongerThanItsLimit) {
    StartSeries(1000000);
    base::Waiting waiting(std::chrono::seconds(2));
    journal::PgJournal station(db.Station("frozen"), dir.path("frozen-spool.sqlite"));
    station.SetWaiting(&waiting);
    std::string error;
    ASSERT_TRUE(station.Open(error)) << error;

    const std::vector<pid_t> server = ServerProcesses();
    SignalAll(server, SIGSTOP);
    std::atomic<bool> returned{false};
    bool reserved = true;
    const auto start = std::chrono::steady_clock::now();
    std::thread call([&] {
        std::int64_t serial = 0, id = 0;
        std::vector<journal::SkippedSerial> skipped;
        reserved = station.Reserve({}, serial, id, skipped, error);
        returned = true;
    });
    // Frozen until the call gives up, or for a minute at most.
    for (int i = 0; i < 600 && !returned; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const bool returnedWhileFrozen = returned;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SignalAll(server, SIGCONT);
    call.join();
    EXPECT_TRUE(returnedWhileFrozen) << "the station waited as long as the server was frozen";
    EXPECT_FALSE(reserved);
    EXPECT_NE(error.find("serveur injoignable"), std::string::npos) << error;
    EXPECT_EQ(error.find("occupé"), std::string::npos) << error;
    std::cout << "frozen server, Attente=2: the station returned after " << seconds << " s\n";

    // Thawed, the station reserves on a new connection.
    std::int64_t serial = 0, id = 0;
    std::vector<journal::SkippedSerial> skipped;
    EXPECT_TRUE(station.Reserve({}, serial, id, skipped, error)) << error;
}

TEST(ServerSchemaMigration, AVersion1DatabaseKeepsEveryRowAndBecomesCurrent) {
    TempFolder dir{"ostrel-migration"};
    PgTestDatabase db{"migration", dir.dir().string(), OSTREL_SCHEMA_V1_SQL};
    if (!db.present())
        GTEST_SKIP() << db.why();
    ASSERT_TRUE(db.ok()) << db.why();
    // Version 1's own calls: a format, one relabelled so that its serial left the index, a
    // credit of a blank card, a card seen holding the next serial.
    ASSERT_EQ(PgTestDatabase::Run(
                  db.adminUri(),
                  "INSERT INTO ostrel.series VALUES (true, 1000000); "
                  "SELECT ostrel.reserve_serial('A', 'p', 'r', 1, NULL); "
                  "SELECT ostrel.finish_operation(1, 'écrite et vérifiée', NULL, NULL); "
                  "SELECT ostrel.reserve_serial('A', 'p', 'r', 1, NULL); "
                  "SELECT ostrel.finish_operation(2, 'code refusé', 2, NULL); "
                  "SELECT ostrel.add_operation('A', 'p', 'r', 'crédit', 4294967295, 1, NULL, 5, "
                  "NULL); "
                  "SELECT ostrel.add_operation('A', 'p', 'r', 'réécriture', 1000002, NULL, NULL, "
                  "NULL, NULL)"),
              "");
    const std::string rows = "SELECT string_agg(id || ' ' || operation || ' ' || outcome || ' ' || "
                             "coalesce(serial_new, 0), '; ' ORDER BY id) FROM ostrel.operations";
    const std::string before = db.Query(rows);

    CliRun run = OstrelCard({"journal", "--upgrade-server", db.adminUri()});
    EXPECT_EQ(run.out, "schéma migré de la version 1 à la version 4\n") << run.err;
    EXPECT_EQ(db.Query(rows), before);
    EXPECT_EQ(db.Query("SELECT count(serial_old) FROM ostrel.operations WHERE operation = "
                       "'crédit'"),
              "0")
        << "FF FF FF FF is no serial";
    EXPECT_EQ(db.Query("SELECT ostrel.issued_at(1000001) IS NOT NULL"), "t")
        << "the relabelled format is given again";

    journal::PgJournal station(db.Station("migrated"), dir.path("spool.sqlite"));
    std::int64_t serial = 0, id = 0;
    std::vector<journal::SkippedSerial> skipped;
    std::string error;
    ASSERT_TRUE(station.Reserve({}, serial, id, skipped, error)) << error;
    EXPECT_EQ(serial, 1000003);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].serial, 1000002);
    EXPECT_EQ(OstrelCard({"journal", "--upgrade-server", db.adminUri()}).out,
              "schéma déjà en version 4\n");
}
