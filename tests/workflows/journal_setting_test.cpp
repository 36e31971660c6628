// Where a station keeps its record, from --journal and [Journal] Server: a station configured
// for a server is on that server or refused, whatever the spelling, never on a file of its own.
#include "temp_folder.h"
#include "workflows/journal_setting.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace ostrel;

namespace {

TEST(JournalSetting, EverySpellingIsOnTheServerOrRefusedNeverLocal) {
    enum Where { Server, File, Refused };
    const struct {
        const char* config; // the [Journal] lines
        const char* option; // --journal
        Where where;
        const char* server; // what libpq is given
    } cases[] = {
        {"Server=postgresql://st@db/ostrel\n", "", Server, "postgresql://st@db/ostrel"},
        {"Server=POSTGRESQL://st@db/ostrel\n", "", Server, "postgresql://st@db/ostrel"},
        {"Server=  Postgres://st@db/ostrel  \n", "", Server, "postgres://st@db/ostrel"},
        {"Server=host=db dbname=ostrel user=st\n", "", Server, "host=db dbname=ostrel user=st"},
        {"Server=\"service=site\"\n", "", Server, "service=site"},
        {"", " postgresql://st@db/ostrel", Server, "postgresql://st@db/ostrel"},
        {"Server=postgresql://st@db/ostrel\n", "postgresql://st@other/ostrel", Server,
         "postgresql://st@other/ostrel"},
        {"", "/srv/a=b/journal.sqlite", File, ""},
        {"", "journal.sqlite", File, ""},
        // Refused before any card is touched.
        {"Server=postgresql://st@db/ostrel\n", "journal.sqlite", Refused, ""},
        {"Server=\n", "", Refused, ""},
        {"Server=   \n", "", Refused, ""},
        {"Server=postgresql://a@db/x\nServer=postgresql://b@db/x\n", "", Refused, ""},
        {"Server=journal.sqlite\n", "", Refused, ""},
        {"Server=mysql://st@db/ostrel\n", "", Refused, ""},
        {"Server=hots=db dbname=ostrel\n", "", Refused, ""},
        {"Server=host='db\n", "", Refused, ""},
        {"", "http://db/ostrel", Refused, ""},
        {"", "dbnme=ostrel", Refused, ""},
    };
    TempFolder dir("ostrel-setting");
    for (const auto& c : cases) {
        dir.write("c.ini", std::string("[Station]\nName=Guichet 1\n[Journal]\n") + c.config);
        workflows::JournalSetting setting;
        std::string error;
        const bool chosen = workflows::ChooseJournal(c.option, dir.path("c.ini"), setting, error);
        const std::string what = std::string(c.config) + " / " + c.option;
        switch (c.where) {
        case Server:
            EXPECT_TRUE(chosen) << what << " : " << error;
            EXPECT_EQ(setting.server, c.server) << what;
            EXPECT_EQ(setting.file, "") << what;
            break;
        case File:
            EXPECT_TRUE(chosen) << what << " : " << error;
            EXPECT_EQ(setting.server, "") << what;
            EXPECT_EQ(setting.file, c.option) << what;
            break;
        case Refused:
            EXPECT_FALSE(chosen) << what;
            EXPECT_FALSE(error.empty()) << what;
            break;
        }
    }
    // No folder is ever made from an address.
    EXPECT_FALSE(std::filesystem::exists("POSTGRESQL:"));
}

} // namespace
