// The serial series on a PostgreSQL server shared by several stations: reservations per second
// and their latency with 1 and 8 stations reserving at once (each its own login and
// connection), then the whole format of a blank card on the simulated reader with the server
// against the same with the single-station SQLite journal and INI file (the reference). The
// test server runs without fsync; the formats are measured with fsync on, as a site's server
// runs (switched back off at the end), since the local files are synced too.
// Needs the private server of scripts/pg_server.sh:
//   bash -c 'source scripts/pg_server.sh && pg_server_start && build/bin/bench_reservation;
//            pg_server_stop'
// Usage: bench_reservation [RESERVATIONS_PER_RUN] [FORMATS]

#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "pg_test_database.h"
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
                std::optional<std::string> issued;
                const auto before = Clock::now();
                if (!station.Reserve(entry, serial, id, issued, error))
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

} // namespace

int main(int argc, char** argv) {
    const int reservations = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int formats = argc > 2 ? std::atoi(argv[2]) : 300;
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
                status = 0;
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
