#include "../local_zone.h"
#include "../scripted_day.h"

#include "journal/daily_totals.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"

#include <gtest/gtest.h>
#include <sstream>
#include <stdlib.h>

using namespace ostrel;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

journal::Entry At(const char* time, const char* operation, const char* outcome,
                  std::optional<int> credits = std::nullopt) {
    journal::Entry e;
    e.time = time;
    e.operation = operation;
    e.outcome = outcome;
    e.credits = credits;
    return e;
}

} // namespace

TEST(JournalCommand, TheScriptedDayGivesItsTotalsAndEachCardItsBytes) {
    TempFolder dir("ostrel-day");
    const ScriptedDay day(dir);
    ASSERT_EQ(day.Run(), (std::vector<int>{1, 1, 0, 0, 0, 0, 1, 1}));
    const std::string today = journal::LocalToday();

    const CliRun totals = day.Card("a.card", {"journal", "--totals"});
    ASSERT_EQ(totals.status, 0) << totals.err;
    // One code presented and refused; the locked card and the one kept for its last attempt
    // apart.
    const std::string figures = "\t2\t1\t1\t12\t1\t0\t1\t0\t0\t0\t0\t1\t1\t0\t1\t1\t0\t0\t0\t0";
    EXPECT_EQ(
        Lines(totals.out),
        (std::vector<std::string>{"jour\tformatées\tréécrites\tcartes crédit\tcrédits\t"
                                  "cartes jeton\tjetons prog. 1\tjetons prog. 2\tjetons "
                                  "prog. 3\tjetons prog. 4\tjetons prog. 5\tjetons "
                                  "autres\tcodes refusés\téchecs d'écriture\tinterrompues\tcartes "
                                  "verrouillées\tnon présentés (dernier essai)\tcartes suspectes\t"
                                  "oppositions\tlevées d'opposition\tremplacements",
                                  today + figures, "total" + figures}));
    const CliRun csv = day.Card("a.card", {"journal", "--totals", "--since", today, "--until",
                                           today, "--csv", "--csv-separator", ";"});
    EXPECT_EQ(csv.out.substr(csv.out.find("\r\n") + 2),
              today + ";2;1;1;12;1;0;1;0;0;0;0;1;1;0;1;1;0;0;0;0\r\ntotal;2;1;1;12;1;0;1;0;0;0;0;1;"
                      "1;0;1;1;0;0;0;"
                      "0\r\n");
    const CliRun before = day.Card("a.card", {"journal", "--totals", "--until", "2000-01-01"});
    EXPECT_EQ(Lines(before.out).back(),
              "total\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0");

    // Card 1000000: formatted, rewritten, credited; newest first, each with its bytes.
    const CliRun history = day.Card("a.card", {"journal", "--serial", "1000000", "--bytes"});
    ASSERT_EQ(history.status, 0) << history.err;
    const std::vector<std::string> lines = Lines(history.out);
    ASSERT_EQ(lines.size(), 1u + 3 * 19 + 1 + 3) << history.out;
    EXPECT_NE(lines[1].find("\tcrédit\t\t1000000\t35\t1\t12\t\técrite et vérifiée"),
              std::string::npos);
    EXPECT_EQ(lines[2], "  avant                                     après");
    EXPECT_EQ(lines[7], "  04: FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF   "
                        "04: 010CFFFF FFFFFFFF FFFFFFFF FFFFFFFF");
    EXPECT_EQ(lines[8], "      ^^^^                                      ^^^^");
    EXPECT_EQ(lines[20], "  2 octet(s) changé(s)");
    // The format: byte 7, the serial, the application, the date and byte 255.
    EXPECT_EQ(lines.back(), "  10 octet(s) changé(s)");
    EXPECT_EQ(lines[lines.size() - 20], "  00: A2131091 FFFFFFFF FFFFFFFF FFFFFFFF   "
                                        "00: A2131091 FFFFFF15 FFFFFFFF FF000F42");
    EXPECT_EQ(lines[lines.size() - 19], "                     ^^            ^^^^^^"
                                        "                      ^^            ^^^^^^");

    // A refusal: nothing written, so nothing compared.
    const CliRun refused = day.Card("a.card", {"journal", "--bytes"});
    const std::vector<std::string> all = Lines(refused.out);
    const auto at = std::find_if(all.begin(), all.end(), [](const std::string& line) {
        return line.find("code refusé") != std::string::npos;
    });
    ASSERT_NE(at, all.end());
    EXPECT_EQ(at[1], "  avant                                     après : inconnu");
    EXPECT_EQ(at[2], "  00: A2131091 FFFFFFFF FFFFFFFF FFFFFFFF");
}

TEST(JournalCommand, BadCombinationsAreRefused) {
    TempFolder dir("ostrel-day");
    const struct {
        std::vector<std::string> args;
        const char* refusal;
    } cases[] = {
        {{"--totals", "--serial", "1"}, "--totals ne va ni avec --serial ni avec --bytes"},
        {{"--csv", "--bytes"}, "--bytes ne va pas avec --csv, qui porte déjà les octets"},
        {{"--csv", "--csv-separator", "|"}, "--csv-separator attend « , » ou « ; », pas « | »"},
        {{"--csv-separator", ";"}, "--csv-separator ne va qu'avec --csv"},
        {{"--totals", "--until", "2026-13-01"},
         "--until attend une date AAAA-MM-JJ, pas « 2026-13-01 »"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--journal", dir.path("j.sqlite"), "journal"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = OstrelCard(args);
        EXPECT_EQ(run.status, 2) << c.refusal;
        EXPECT_EQ(run.err, std::string("ostrel-card journal : ") + c.refusal + "\n");
    }
}

// The days are the operator's: an operation at 23:30 UTC in winter belongs to the next day in
// Paris, and a range of days is taken in local time.
TEST(JournalTotals, DaysAreLocalAndOnlyVerifiedWritesAreSold) {
    LocalZone paris("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::vector<journal::Entry> entries = {
        At("2026-12-07T22:59:59Z", journal::kFormat, journal::kVerified),
        At("2026-12-07T23:00:00Z", journal::kCredit, journal::kVerified, 20),
        At("2026-12-08T10:00:00Z", journal::kCredit, journal::kWriteFailed, 50),
        At("2026-12-08T10:01:00Z", journal::kToken, journal::kVerified, 10),
        At("2026-12-08T10:02:00Z", journal::kToken, journal::kVerified, 9),
        At("2026-12-08T10:03:00Z", journal::kToken, journal::kRefused, 3),
        At("2026-12-08T10:04:00Z", journal::kShow, journal::kLocked),
        At("2026-12-08T10:05:00Z", journal::kFormat, journal::kInterrupted),
        At("2026-12-08T10:06:00Z", journal::kShow, journal::kVerified),
        At("2026-12-08T10:07:00Z", journal::kCredit, journal::kNotPresented, 4),
        At("2026-07-01T22:30:00Z", journal::kRewrite, journal::kVerified), // summer: +2 h
    };
    const journal::Totals all = journal::SumByDay(entries, "", "");
    ASSERT_EQ(all.days.size(), 3u);
    EXPECT_EQ(
        journal::TotalsFields(all.days[0]),
        (std::vector<std::string>{"2026-07-02", "0", "1", "0", "0", "0", "0", "0", "0", "0", "0",
                                  "0",          "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(
        journal::TotalsFields(all.days[1]),
        (std::vector<std::string>{"2026-12-07", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0",
                                  "0",          "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(
        journal::TotalsFields(all.days[2]),
        (std::vector<std::string>{"2026-12-08", "0", "0", "1", "20", "2", "0", "0", "0", "0", "1",
                                  "1",          "1", "1", "1", "1",  "1", "0", "0", "0", "0"}));
    EXPECT_EQ(journal::TotalsFields(all.total)[0], "total");
    EXPECT_EQ(all.total.formatted + all.total.rewritten + all.total.creditCards +
                  all.total.tokenCards + all.total.refused + all.total.failed +
                  all.total.interrupted + all.total.locked + all.total.notPresented,
              10); // every entry but the code presented only to read a card
    const journal::Totals december = journal::SumByDay(entries, "2026-12-08", "2026-12-08");
    ASSERT_EQ(december.days.size(), 1u);
    EXPECT_EQ(december.total.creditCards, 1);
    EXPECT_EQ(december.total.formatted, 0);
    EXPECT_EQ(journal::LocalTimeText("2026-12-07T23:00:00Z"), "2026-12-08 00:00:00");
}
