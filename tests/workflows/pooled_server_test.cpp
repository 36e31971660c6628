#include "journal/pg_journal.h"
#include "journal/server_copy.h"
#include "pg_test_database.h"
#include "private_bouncer.h"
#include "temp_folder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <thread>

// The stations' protocol through PgBouncer in transaction pooling: each transaction may run on
// another server connection, so nothing may rest on the session.
using namespace ostrel;

// 50 connections of 5 logins share 10 server connections: every reservation gives its own
// serial, a reservation sent again under its key returns its row, every row is its login's and
// only that login finishes it.
TEST(PooledServer, FiftyConnectionsThroughTransactionPoolingGiveNoSerialTwice) {
    const std::string program = FoundProgram("pgbouncer");
    if (program.empty())
        GTEST_SKIP() << "no pgbouncer (Debian's package pgbouncer)";
    TempFolder dir("ostrel-pooled");
    PgTestDatabase db("pooled", dir.path(""));
    if (!db.ok())
        GTEST_SKIP() << db.why();
    std::vector<std::string> logins;
    for (int l = 0; l < 5; ++l) {
        db.Station("p" + std::to_string(l));
        logins.push_back(db.name() + "_p" + std::to_string(l));
    }
    std::string error;
    journal::PgConnection admin(db.adminUri());
    ASSERT_TRUE(journal::StartServerSeries(admin, 1000000, error)) << error;
    PrivateBouncer bouncer(program, dir.path("pgb"), db, logins, 2);
    ASSERT_TRUE(bouncer.running()) << bouncer.log();

    constexpr int kConnections = 50;
    constexpr int kEach = 10;
    std::vector<std::vector<std::int64_t>> serials(kConnections);
    std::vector<std::string> errors(kConnections);
    std::vector<std::thread> threads;
    for (int c = 0; c < kConnections; ++c) {
        threads.emplace_back([&, c] {
            const auto i = static_cast<std::size_t>(c);
            journal::PgJournal station(bouncer.Address(logins[i % logins.size()], db.name()),
                                       dir.path("spool-" + std::to_string(c)));
            std::string& failed = errors[i];
            if (!station.Open(failed))
                return;
            for (int n = 0; n < kEach; ++n) {
                journal::Entry entry;
                entry.station = "poste " + std::to_string(c);
                std::int64_t serial = 0, id = 0, again = 0, sameId = 0;
                std::vector<journal::SkippedSerial> skipped;
                char key[40];
                std::snprintf(key, sizeof key, "%08x%024x", c, n);
                entry.key = key;
                if (!station.Reserve(entry, serial, id, skipped, failed) ||
                    !station.Reserve(entry, again, sameId, skipped, failed))
                    return;
                if (again != serial || sameId != id) {
                    failed = "the key sent again gave another row";
                    return;
                }
                if (!station.Finish(id, journal::kVerified, std::nullopt, std::string(256, 'x'),
                                    failed))
                    return;
                serials[i].push_back(serial);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::set<std::int64_t> given;
    std::size_t total = 0;
    for (int c = 0; c < kConnections; ++c) {
        EXPECT_EQ(errors[static_cast<std::size_t>(c)], "") << "connection " << c;
        total += serials[static_cast<std::size_t>(c)].size();
        given.insert(serials[static_cast<std::size_t>(c)].begin(),
                     serials[static_cast<std::size_t>(c)].end());
    }
    EXPECT_EQ(total, std::size_t{kConnections * kEach});
    EXPECT_EQ(given.size(), total) << "duplicates: " << total - given.size();
    // Each row is the login's that reserved it: station "poste c" used login c % 5.
    EXPECT_EQ(db.Query("SELECT count(*) FROM ostrel.operations WHERE reserved AND outcome = "
                       "'écrite et vérifiée' AND login = '" +
                       db.name() + "_p' || (substr(station, 7)::int % 5)"),
              std::to_string(kConnections * kEach));
    // Another login of the pool finishes none of them.
    journal::PgJournal other(bouncer.Address(logins[1], db.name()), dir.path("spool-other"));
    std::int64_t serial = 0, id = 0;
    std::vector<journal::SkippedSerial> skipped;
    ASSERT_TRUE(other.Reserve({}, serial, id, skipped, error)) << error;
    const std::string foreign =
        db.Query("SELECT min(id) FROM ostrel.operations WHERE login = '" + logins[0] + "'");
    EXPECT_FALSE(other.Finish(std::stoll(foreign), journal::kCancelled, std::nullopt, {}, error));
    EXPECT_TRUE(other.Finish(id, journal::kCancelled, std::nullopt, {}, error)) << error;
}
