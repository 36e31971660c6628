#include "../cli_run.h"
#include "../temp_folder.h"

#include "journal/sqlite_journal.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, next; (next = text.find(end, at)) != std::string::npos;
         at = next + end.size())
        lines.push_back(text.substr(at, next - at));
    return lines;
}

} // namespace

// Names that come from files, readers and the journal itself are data: in the listing they
// can neither forge a row nor drive the terminal, and in the CSV file no cell is a formula.
TEST(JournalListing, ForgedRowsAndFormulaCellsStayPlainData) {
    const TempFolder folder("ostrel-journal-listing");
    const std::string journal = folder.path("j.sqlite");
    folder.write("c.ini", "[Format]\nNextSerial=1000000\n");
    // Card files whose names hold a whole forged row, and a terminal's title sequence.
    for (const std::string name :
         {"x\n999\t2030-01-01T00:00:00Z\tostrel-card\tsim\tformatage\t1\t\t\t\t\t\tforged.card",
          "\x1B]0;pwned\a\x1B[2J.card"}) {
        ASSERT_EQ(OstrelCard({"card", "new", folder.path(name)}).status, 0);
        const CliRun run = OstrelCard({"--reader", "sim:" + folder.path(name), "--config",
                                       folder.path("c.ini"), "--journal", journal, "format"});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    // Rows as an edited journal or a hostile reader name could leave them.
    const char* formulas[] = {"=HYPERLINK(\"http://x\")", "+1+1", "-1+1", "@SUM(A1)", "\tx", "\rx"};
    {
        ostrel::journal::SqliteJournal records(journal);
        for (const char* formula : formulas) {
            ostrel::journal::Entry entry;
            entry.program = formula;
            entry.reader = formula;
            entry.operation = "lecture";
            std::int64_t id = 0;
            std::string error;
            ASSERT_TRUE(records.Add(entry, id, error)) << error;
        }
    }
    const std::size_t rows = 2 + std::size(formulas);

    const CliRun listing = OstrelCard({"--journal", journal, "journal"});
    ASSERT_EQ(listing.status, 0) << listing.err;
    const std::vector<std::string> lines = Lines(listing.out, "\n");
    EXPECT_EQ(lines.size(), 1 + rows) << listing.out;
    for (const std::string& line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 12) << line; // 13 columns
        EXPECT_EQ(line.find_first_of("\x1B\a\r"), std::string::npos) << line;
    }
    EXPECT_NE(listing.out.find("x\\n999\\t2030-01-01T00:00:00Z\\t"), std::string::npos);
    EXPECT_NE(listing.out.find("\\x1B]0;pwned\\x07\\x1B[2J.card"), std::string::npos);

    const CliRun csv = OstrelCard({"--journal", journal, "journal", "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    // Control characters escaped as in the listing (line breaks kept, quoted).
    EXPECT_EQ(csv.out.find_first_of("\x1B\a"), std::string::npos);
    EXPECT_NE(csv.out.find("\\x1B]0;pwned\\x07\\x1B[2J.card"), std::string::npos);
    for (const char* formula : formulas) {
        // An escaped tab starts with a backslash, which no spreadsheet reads as a formula.
        std::string cell =
            formula[0] == '\t' ? std::string("\\t") + (formula + 1) : std::string("'") + formula;
        if (cell.find_first_of("\"\r") != std::string::npos) {
            std::string quoted;
            for (const char c : cell)
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            cell = "\"" + quoted + "\"";
        }
        EXPECT_NE(csv.out.find("," + cell + "," + cell + ",lecture,"), std::string::npos)
            << cell << " in " << csv.out;
    }
}
