// The serial series on a PostgreSQL server shared by several stations: reservations per second
// and their latency with 1 and 8 stations reserving at once (each its own login and
// connection), then the whole format of a blank card on the simulated reader with the server
// against the same with the single-station SQLite journal and INI file (the reference). The
// test server runs without fsync; the formats are measured with fsync on, as a site's server
// runs (switched back off at the end), since the local files are synced too.
// Needs the private server of scripts/pg_server.sh:
//   bash -c 'source scripts/pg_server.sh && pg_server_start && build/bin/bench_reservation;
//            pg_server_stop'
// Then the paced run of a large site: 500 stations in this process, each its own connection
// through a private PgBouncer in transaction pooling (20 logins, one server connection each:
// 20 in all), each reserving once every 5 s on average for PACED_SECONDS; the serials given,
// the duplicates (0) and the latencies. Skipped without pgbouncer.
// Usage: bench_reservation [RESERVATIONS_PER_RUN] [FORMATS] [PACED_SECONDS]

#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "pg_test_database.h"
#include "private_bouncer.h"
#include "reader/simulated_reader.h"
#include "workflows/format_workflow.h"
#include "workflows/ini_serial_store.h"
#include "workflows/local_serial_series.h"
#include "workflows/server_serial_series.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace ostrel;
using Clock = std::chrono::steady_clock;

namespace {

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// stations threads, each its own station login, reserving total serials between them.
bool Reservations(PgTestDatabase& db, int stations, int total) {
    std::vector<std::string> addresses;
    for (int s = 0; s < stations; ++s)
        addresses.push_back(db.Station("b" + std::to_string(stations) + "_" + std::to_string(s)));
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(stations));
    std::vector<std::string> errors(static_cast<std::size_t>(stations));
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int s = 0; s < stations; ++s) {
        threads.emplace_back([&, s] {
            const auto i = static_cast<std::size_t>(s);
            journal::PgJournal station(addresses[i], "/dev/null/no-spool");
            journal::Entry entry;
            entry.station = "banc " + std::to_string(s);
            std::string& error = errors[i];
            if (!station.Open(error))
                return;
            for (int n = 0; n < total / stations; ++n) {
                std::int64_t serial = 0, id = 0;
                std::vector<journal::SkippedSerial> skipped;
                const auto before = Clock::now();
                if (!station.Reserve(entry, serial, id, skipped, error))
                    return;
                latencies[i].push_back(Milliseconds(Clock::now() - before));
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    const double seconds = Milliseconds(Clock::now() - start) / 1000;
    std::vector<double> all;
    for (std::size_t s = 0; s < latencies.size(); ++s) {
        if (!errors[s].empty()) {
            std::fprintf(stderr, "bench_reservation: %s\n", errors[s].c_str());
            return false;
        }
        all.insert(all.end(), latencies[s].begin(), latencies[s].end());
    }
    std::printf("%-28s %8d %8zu %10.0f %8.2f %8.2f\n", "reservations", stations, all.size(),
                static_cast<double>(all.size()) / seconds, Percentile(all, 0.50),
                Percentile(all, 0.99));
    return true;
}

// Formats count blank cards one after the other as the formatting window does; the time of
// each, from insertion to the end of its record.
std::vector<double> Formats(journal::Journal& records, workflows::SerialSeries& store, int count) {
    reader::SimulatedReader reader;
    reader::SharedState state{reader};
    state.ReaderHandle = reader.Open(reader::kReaderTypeAny, reader::kReaderPortAny);
    workflows::WorkflowOptions options;
    options.journal = {&records, "bench", "sim", "banc"};
    workflows::FormatWorkflow format(state, store, options);
    format.Load();
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        reader.insertCard(
            std::make_shared<reader::VirtualCard>(reader::Sle4442Chip::Blank(0x04, 0x5E2B71)));
        state.ReaderState = reader::kReaderCardInside;
        const auto before = Clock::now();
        format.CardInserted();
        times.push_back(Milliseconds(Clock::now() - before));
        if (format.outcome() != workflows::FormatOutcome::Formatted) {
            std::fprintf(stderr, "bench_reservation: not formatted: %s\n",
                         format.problem().c_str());
            return {};
        }
        reader.removeCard();
        state.ReaderState = reader::kReaderEmpty;
        format.CardRemoved();
    }
    return times;
}

void PrintFormats(const char* name, const std::vector<double>& times, double reference) {
    double sum = 0;
    for (double t : times)
        sum += t;
    const double mean = sum / static_cast<double>(times.size());
    std::printf("%-28s %8s %8zu %10.2f %8.2f %8.2f   ratio: %.2f\n", name, "", times.size(), mean,
                Percentile(times, 0.50), Percentile(times, 0.99),
                reference > 0 ? mean / reference : 1.0);
}

// stations connections through a private PgBouncer, pooled by transaction over logins server
// connections, each reserving at random once every 5 s on average for seconds.
bool Paced(PgTestDatabase& db, const std::string& folder, int stations, int logins, int seconds) {
    const std::string program = FoundProgram("pgbouncer");
    if (program.empty()) {
        std::printf("paced run: no pgbouncer, skipped\n");
        return true;
    }
    std::vector<std::string> names;
    for (int l = 0; l < logins; ++l)
        names.push_back(db.name() + "_paced" + std::to_string(l));
    db.Run(db.adminUri(), "DO \\$\\$ BEGIN FOR l IN 0.." + std::to_string(logins - 1) +
                              " LOOP EXECUTE format('CREATE ROLE %I LOGIN PASSWORD %L IN ROLE "
                              "ostrel_station', '" +
                              db.name() + "_paced' || l, 'pw-" + db.name() +
                              "_paced' || l); END LOOP; END \\$\\$");
    db.Run(db.adminUri(), "SELECT ostrel.configure_station_logins()");
    PrivateBouncer bouncer(program, folder + "/pgb", db, names, 1, stations + 10);
    if (!bouncer.running()) {
        std::fprintf(stderr, "bench_reservation: pgbouncer did not start\n%s",
                     bouncer.log().c_str());
        return false;
    }
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(stations));
    std::vector<std::vector<std::int64_t>> serials(static_cast<std::size_t>(stations));
    std::vector<std::string> errors(static_cast<std::size_t>(stations));
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (int s = 0; s < stations; ++s) {
        threads.emplace_back([&, s] {
            const auto i = static_cast<std::size_t>(s);
            std::mt19937 random(static_cast<unsigned>(s) + 1);
            std::exponential_distribution<double> pause(1.0 / 5.0);
            journal::PgJournal station(bouncer.Address(names[i % names.size()], db.name()),
                                       folder + "/no-spool-" + std::to_string(s));
            journal::Entry entry;
            entry.station = "poste " + std::to_string(s);
            if (!station.Open(errors[i]))
                return;
            for (;;) {
                const auto next = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(pause(random)));
                if (next >= end)
                    return;
                std::this_thread::sleep_until(next);
                std::int64_t serial = 0, id = 0;
                std::vector<journal::SkippedSerial> skipped;
                entry.key.clear();
                const auto before = Clock::now();
                if (!station.Reserve(entry, serial, id, skipped, errors[i]))
                    return;
                latencies[i].push_back(Milliseconds(Clock::now() - before));
                serials[i].push_back(serial);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::vector<double> all;
    std::set<std::int64_t> given;
    std::size_t total = 0, failed = 0;
    for (std::size_t s = 0; s < latencies.size(); ++s) {
        if (!errors[s].empty() && ++failed == 1)
            std::fprintf(stderr, "bench_reservation: %s\n", errors[s].c_str());
        all.insert(all.end(), latencies[s].begin(), latencies[s].end());
        given.insert(serials[s].begin(), serials[s].end());
        total += serials[s].size();
    }
    if (all.empty())
        return false;
    std::printf("paced: %d stations through PgBouncer (%d server connections), %d s: %zu "
                "reservations, %zu duplicates, %zu stations failed, p50 %.2f ms, p99 %.2f ms, "
                "max %.2f ms\n",
                stations, logins, seconds, total, total - given.size(), failed,
                Percentile(all, 0.50), Percentile(all, 0.99), Percentile(all, 1.0));
    return failed == 0 && total == given.size();
}

} // namespace

int main(int argc, char** argv) {
    const int reservations = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int formats = argc > 2 ? std::atoi(argv[2]) : 300;
    const int pacedSeconds = argc > 3 ? std::atoi(argv[3]) : 60;
    char folderName[] = "/tmp/ostrel-bench-XXXXXX";
    if (!::mkdtemp(folderName))
        return 1;
    const std::string folder = folderName;
    int status = 1;
    {
        PgTestDatabase db("bench", folder);
        if (!db.ok()) {
            std::fprintf(stderr, "bench_reservation: %s\n", db.why().c_str());
            std::filesystem::remove_all(folder);
            return 1;
        }
        db.Run(db.adminUri(), "INSERT INTO ostrel.series(next_serial) VALUES (1000000)");
        std::printf("%-28s %8s %8s %10s %8s %8s\n", "", "stations", "count", "per s/mean", "p50 ms",
                    "p99 ms");
        if (Reservations(db, 1, reservations) && Reservations(db, 8, reservations)) {
            db.Run(db.adminUri(), "ALTER SYSTEM SET fsync = on");
            db.Run(db.adminUri(), "SELECT pg_reload_conf()");
            journal::SqliteJournal file(folder + "/journal.sqlite");
            workflows::IniSerialStore iniStore(folder + "/c.ini");
            workflows::LocalSerialSeries ini(iniStore);
            const std::vector<double> local = Formats(file, ini, formats);
            journal::PgJournal server(db.Station("format"), folder + "/spool.sqlite");
            workflows::ServerSerialSeries series(server);
            const std::vector<double> shared = Formats(server, series, formats);
            db.Run(db.adminUri(), "ALTER SYSTEM RESET fsync");
            db.Run(db.adminUri(), "SELECT pg_reload_conf()");
            if (!local.empty() && !shared.empty()) {
                double sum = 0;
                for (double t : local)
                    sum += t;
                const double reference = sum / static_cast<double>(local.size());
                PrintFormats("format, SQLite + INI (ref.)", local, reference);
                PrintFormats("format, server", shared, reference);
                status = pacedSeconds <= 0 || Paced(db, folder, 500, 20, pacedSeconds) ? 0 : 1;
            }
        }
    }
    std::filesystem::remove_all(folder);
    double load[1] = {0};
    if (::getloadavg(load, 1) == 1)
        std::printf("load average of the machine: %.1f on %u cores\n", load[0],
                    std::thread::hardware_concurrency());
    return status;
}
