// A site's years in one journal: 1,000,000 rows (formats, credits, tokens, refusals over three
// years, 10 stations, both card images on each row) in a SQLite file and on the private server,
// then, as medians of RUNS runs, what the operator waits for: the first page of "Opérations"
// shown (the model filled), a further page while scrolling, the history of one serial, the
// totals of 365 days; each against the same query run raw by sqlite3 or psql (their own timers),
// as a ratio. And the resident memory the Journal window added after scrolling 10 pages.
// Needs the private server of scripts/pg_server.sh (without it, the file only):
//   bash -c 'source scripts/pg_server.sh && pg_server_start &&
//            QT_QPA_PLATFORM=offscreen build/bin/bench_journal_scale; pg_server_stop'
// Usage: bench_journal_scale [ROWS] [RUNS]

#include "app/journal_window.h"
#include "app/operations_model.h"
#include "journal/card_history.h"
#include "journal/daily_totals.h"
#include "journal/local_time.h"
#include "journal/pg_journal.h"
#include "journal/sqlite_journal.h"
#include "pg_test_database.h"

#include <QApplication>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ostrel;
using Clock = std::chrono::steady_clock;

namespace {

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

std::string Output(const std::string& command) {
    std::string output;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, p))
            output += buffer;
        ::pclose(p);
    }
    return output;
}

// The times a tool's own timer printed, in ms: sqlite3's ".timer on" ("Run Time: real 0.012")
// or psql's "\timing" ("Time: 12.345 ms"), one per statement.
std::vector<double> ToolTimes(const std::string& output) {
    std::vector<double> times;
    static const std::regex sqlite(R"(Run Time: real ([0-9.]+))");
    static const std::regex psql(R"(Time: ([0-9.]+) ms)");
    for (std::sregex_iterator i(output.begin(), output.end(), sqlite), end; i != end; ++i)
        times.push_back(std::stod((*i)[1]) * 1000);
    for (std::sregex_iterator i(output.begin(), output.end(), psql), end; i != end; ++i)
        times.push_back(std::stod((*i)[1]));
    return times;
}

// sql run runs times by the raw tool: the median of its timer, statements of one run summed.
double RawMedian(const std::string& tool, const std::string& sql, int statements, int runs) {
    const std::string file = "/tmp/ostrel-bench-raw.sql";
    std::ofstream out(file);
    for (int r = 0; r < runs; ++r)
        out << sql << "\n";
    out.close();
    const std::vector<double> times = ToolTimes(Output(tool + " < " + file + " 2>&1"));
    std::vector<double> perRun;
    for (std::size_t i = 0; i + static_cast<std::size_t>(statements) <= times.size();
         i += static_cast<std::size_t>(statements)) {
        double sum = 0;
        for (int s = 0; s < statements; ++s)
            sum += times[i + static_cast<std::size_t>(s)];
        perRun.push_back(sum);
    }
    return Median(perRun);
}

double Timed(const std::function<void()>& what, int runs) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        what();
        times.push_back(Milliseconds(Clock::now() - start));
    }
    return Median(times);
}

bool ReadsEnd(const app::JournalWindow& window) {
    while (window.reading())
        QTest::qWait(1);
    return true;
}

// The rows of a site, as one SQL statement over a series 0..rows-1 (i): 10 stations, one row
// every 3 years / rows; 1 in 5 a format giving serial 1000000 + i, then credits and tokens on
// cards formatted earlier, 1 in 20 a refused code, 1 in 50 a failed write.
std::string SiteRowsSql(bool server, int rows) {
    const std::string span = std::to_string(3 * 365 * 86400.0 / rows);
    const std::string kind =
        "CASE WHEN i % 5 = 0 THEN 'formatage' WHEN i % 5 IN (1, 2) THEN 'crédit' "
        "WHEN i % 5 = 3 THEN 'jeton' ELSE CASE WHEN i % 10 = 4 THEN 'réécriture' "
        "ELSE 'lecture' END END";
    const std::string outcome = "CASE WHEN i % 5 <> 0 AND i % 20 = 7 THEN 'code refusé' "
                                "WHEN i % 50 = 11 THEN 'échec d''écriture' "
                                "ELSE 'écrite et vérifiée' END";
    const std::string serialNew = "CASE WHEN i % 5 = 0 THEN 1000000 + i END";
    const std::string serialOld =
        "CASE WHEN i % 5 <> 0 THEN 1000000 + (i * 7919 % (i + 1)) / 5 * 5 END";
    const std::string credits = "CASE WHEN i % 5 IN (1, 2) THEN 1 + i % 40 "
                                "WHEN i % 5 = 3 THEN (ARRAY[3, 5, 7, 8, 10])[1 + i % 5] END";
    if (server) {
        return "INSERT INTO ostrel.operations(time, station, program, reader, operation, "
               "serial_new, serial_old, supplier, credits, outcome, card_before, card_after, "
               "reserved) SELECT timestamptz '2023-12-01 00:00:00+00' + i * interval '" +
               span + " seconds', 'Guichet ' || (i % 10), 'ostrel-admin', 'lecteur', " + kind +
               ", " + serialNew + ", " + serialOld + ", 53, " + credits + ", " + outcome +
               ", decode(repeat(md5(i::text), 16), 'hex'), decode(repeat(md5((i + 1)::text), 16), "
               "'hex'), i % 5 = 0 FROM generate_series(0::bigint, " +
               std::to_string(rows - 1) + ") AS i;";
    }
    std::string sqliteCredits = credits;
    sqliteCredits.replace(sqliteCredits.find("(ARRAY[3, 5, 7, 8, 10])[1 + i % 5]"), 34,
                          "CASE i % 5 WHEN 0 THEN 3 WHEN 1 THEN 5 WHEN 2 THEN 7 WHEN 3 THEN 8 "
                          "ELSE 10 END");
    return "WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM s WHERE i < " +
           std::to_string(rows - 1) +
           ") INSERT INTO operations(time, program, reader, operation, serial_new, serial_old, "
           "supplier, credits, outcome, card_before, card_after, station) SELECT "
           "strftime('%Y-%m-%dT%H:%M:%SZ', 1701388800 + i * " +
           span + ", 'unixepoch'), 'ostrel-admin', 'lecteur', " + kind + ", " + serialNew + ", " +
           serialOld + ", 53, " + sqliteCredits + ", " + outcome +
           ", randomblob(256), randomblob(256), 'Guichet ' || (i % 10) FROM s;";
}

struct Figures {
    double firstPage = 0, nextPage = 0, history = 0, totals = 0, memory = 0;
};

// What the operator waits for, on journal.
Figures Measure(journal::Journal& journal, int runs) {
    Figures f;
    // From the window made to its first page in the table (its other views read meanwhile).
    std::vector<double> firstPages;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        app::JournalWindow window(&journal);
        while (window.operations()->pagesRead() < 1 && window.reading())
            QTest::qWait(1);
        firstPages.push_back(Milliseconds(Clock::now() - start));
        ReadsEnd(window);
    }
    f.firstPage = Median(firstPages);
    {
        const double before = ResidentMegabytes();
        app::JournalWindow window(&journal);
        window.resize(1000, 560);
        window.show();
        ReadsEnd(window);
        auto* table = window.findChild<QTableView*>("lstJournal");
        std::vector<double> pages;
        for (int page = 0; page < 10; ++page) {
            const auto start = Clock::now();
            table->scrollToBottom();
            ReadsEnd(window);
            pages.push_back(Milliseconds(Clock::now() - start));
        }
        f.nextPage = Median(pages);
        f.memory = ResidentMegabytes() - before;
        if (window.operations()->rowCount() != 11 * app::OperationsModel::kPageRows)
            std::fprintf(stderr, "bench_journal_scale: %d rows after 10 pages\n",
                         window.operations()->rowCount());
    }
    int serial = 0;
    f.history = Timed(
        [&] {
            std::vector<journal::Entry> history;
            std::string error;
            journal::ReadCardHistory(journal, 1000000 + 5 * (serial++ * 7907 % 190000), history,
                                     error);
        },
        runs);
    f.totals = Timed(
        [&] {
            journal::Totals totals;
            std::string error;
            if (!journal::ReadTotals(journal, "2025-12-01", "2026-11-30", totals, error))
                std::fprintf(stderr, "bench_journal_scale: %s\n", error.c_str());
        },
        runs);
    return f;
}

void Print(const char* backend, const Figures& ours, const Figures& raw) {
    const struct {
        const char* what;
        double ours, raw, goal;
    } lines[] = {
        {"first page shown", ours.firstPage, raw.firstPage, 300},
        {"further page", ours.nextPage, raw.nextPage, 100},
        {"history of a serial", ours.history, raw.history, 50},
        {"totals of 365 days", ours.totals, raw.totals, 500},
    };
    for (const auto& l : lines) {
        std::printf("%-8s %-22s %9.2f ms  raw %8.3f ms  ratio %6.2f  goal <= %4.0f ms %s\n",
                    backend, l.what, l.ours, l.raw, l.raw > 0 ? l.ours / l.raw : 0, l.goal,
                    l.ours <= l.goal ? "met" : "MISSED");
    }
    std::printf("%-8s %-22s %9.1f MB                                 goal <=  150 MB %s\n", backend,
                "window after 10 pages", ours.memory, ours.memory <= 150 ? "met" : "MISSED");
}

// The same reads, written as a station's program sends them, for the raw tool.
Figures RawSqlite(const std::string& file, int runs) {
    const std::string columns = "id, time, program, reader, operation, serial_new, serial_old, "
                                "supplier, kind, credits, attempts_left, outcome, station";
    Figures f;
    f.firstPage = RawMedian("sqlite3 -cmd '.timer on' '" + file + "'",
                            "SELECT " + columns +
                                " FROM operations ORDER BY time DESC, id DESC LIMIT 200; "
                                "SELECT count(*) FROM (SELECT 1 FROM operations LIMIT 10001);",
                            2, runs);
    f.nextPage = RawMedian("sqlite3 -cmd '.timer on' '" + file + "'",
                           "SELECT " + columns +
                               " FROM operations WHERE (time, id) < ((SELECT time FROM operations "
                               "WHERE id = 900000), 900000) ORDER BY time DESC, id DESC LIMIT "
                               "200;",
                           1, runs);
    f.history = RawMedian("sqlite3 -cmd '.timer on' '" + file + "'",
                          "SELECT * FROM operations WHERE serial_new = 1000500 OR serial_old = "
                          "1000500 ORDER BY id;",
                          1, runs);
    f.totals = RawMedian(
        "sqlite3 -cmd '.timer on' '" + file + "'",
        "SELECT date(time, 'localtime') AS d, operation, outcome, CASE WHEN operation = 'jeton' "
        "THEN credits END AS c, count(*), total(coalesce(credits, 0)) FROM operations WHERE "
        "time >= '2025-11-30T00:00:00Z' AND time < '2026-12-02T00:00:00Z' GROUP BY 1, 2, 3, 4;",
        1, runs);
    return f;
}

Figures RawServer(const std::string& uri, int runs) {
    const std::string columns = "id, time, station, login, program, reader, operation, "
                                "serial_new, serial_old, supplier, kind, credits, attempts_left, "
                                "outcome, uuid";
    Figures f;
    f.firstPage = RawMedian("psql -X -q -o /dev/null '" + uri + "' -f -",
                            "\\timing on\nSELECT " + columns +
                                " FROM ostrel.operations ORDER BY time DESC, id DESC LIMIT 200; "
                                "SELECT count(*) FROM (SELECT FROM ostrel.operations LIMIT "
                                "10001) c;\n\\timing off",
                            2, runs);
    f.nextPage = RawMedian("psql -X -q -o /dev/null '" + uri + "' -f -",
                           "\\timing on\nSELECT " + columns +
                               " FROM ostrel.operations WHERE (time, id) < (SELECT time, id FROM "
                               "ostrel.operations WHERE id = 900000) ORDER BY time DESC, id DESC "
                               "LIMIT 200;\n\\timing off",
                           1, runs);
    f.history = RawMedian("psql -X -q -o /dev/null '" + uri + "' -f -",
                          "\\timing on\nSELECT * FROM ostrel.operations WHERE serial_new = "
                          "1000500 OR serial_old = 1000500 ORDER BY id;\n\\timing off",
                          1, runs);
    f.totals = RawMedian(
        "psql -X -q -o /dev/null '" + uri + "' -f -",
        "\\timing on\nSELECT (time AT TIME ZONE 'UTC')::date, operation, outcome, CASE WHEN "
        "operation = 'jeton' THEN credits END, count(*), sum(coalesce(credits, 0)) FROM "
        "ostrel.operations WHERE time >= '2025-12-01' AND time < '2026-12-01' GROUP BY 1, 2, 3, "
        "4;\n\\timing off",
        1, runs);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    QApplication application(argc, argv);
    char folderName[] = "/tmp/ostrel-bench-scale-XXXXXX";
    if (!::mkdtemp(folderName))
        return 1;
    const std::string folder = folderName;
    int status = 0;
    {
        const std::string file = folder + "/journal.sqlite";
        auto start = Clock::now();
        {
            journal::SqliteJournal journal(file);
            std::string error;
            if (!journal.Open(error)) {
                std::fprintf(stderr, "bench_journal_scale: %s\n", error.c_str());
                return 1;
            }
        }
        const std::string fill = folder + "/fill.sql";
        std::ofstream(fill) << "BEGIN;\n" << SiteRowsSql(false, rows) << "\nCOMMIT;\nANALYZE;\n";
        if (std::system(("sqlite3 '" + file + "' < '" + fill + "'").c_str()) != 0)
            return 1;
        std::printf("sqlite: %d rows written in %.0f s, file %.0f MB\n", rows,
                    Milliseconds(Clock::now() - start) / 1000,
                    static_cast<double>(std::filesystem::file_size(file)) / 1e6);
        {
            journal::SqliteJournal journal(file);
            const Figures ours = Measure(journal, runs);
            Print("sqlite", ours, RawSqlite(file, runs));
        }
        std::fflush(stdout);

        PgTestDatabase db("scale", folder);
        if (!db.ok()) {
            std::printf("server: %s\n", db.why().c_str());
        } else {
            start = Clock::now();
            const std::string sql = folder + "/fill-server.sql";
            std::ofstream(sql) << SiteRowsSql(true, rows)
                               << "\nVACUUM ANALYZE ostrel.operations;\n";
            std::system(
                ("psql -X -q -v ON_ERROR_STOP=1 '" + db.adminUri() + "' -f '" + sql + "'").c_str());
            std::printf("server: %s rows written in %.0f s\n",
                        db.Query("SELECT count(*) FROM ostrel.operations").c_str(),
                        Milliseconds(Clock::now() - start) / 1000);
            journal::PgJournal journal(db.Station("scale"), folder + "/spool.sqlite");
            const Figures ours = Measure(journal, runs);
            Print("server", ours, RawServer(db.adminUri(), runs));
        }
    }
    std::filesystem::remove_all(folder);
    double load[1] = {0};
    if (::getloadavg(load, 1) == 1)
        std::printf("load average of the machine: %.1f on %u cores\n", load[0],
                    std::thread::hardware_concurrency());
    return status;
}
