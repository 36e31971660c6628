// A site set up by the site commands alone on a fresh database of the private PostgreSQL
// server: run twice they change nothing, and a station configured with the lines they print
// formats a card.
#include "cli_run.h"
#include "journal/pgpass_file.h"
#include "journal/server_address_parts.h"
#include "reader/virtual_card_file.h"
#include "temp_folder.h"
#include "test_cards.h"

#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrel;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void Psql(const std::string& uri, const std::string& sql) {
    const std::string command = "psql -q -X '" + uri + "' -c \"" + sql + "\" >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// The text after "prefix" on the line of out that starts with it.
std::string LineAfter(const std::string& out, const std::string& prefix) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    }
    return {};
}

struct FreshSite : ::testing::Test {
    TempFolder dir{"ostrel-site"};
    std::string admin = Env("OSTREL_TEST_PG");
    std::string tag = std::to_string(::getpid());
    std::string database = "ostrel_site_" + tag;
    std::string uri;

    void SetUp() override {
        if (admin.empty()) {
            if (std::getenv("CI"))
                FAIL() << "OSTREL_TEST_PG is not set";
            GTEST_SKIP() << "OSTREL_TEST_PG is not set: no PostgreSQL server for this test";
        }
        // The superuser's address on the site's database, which does not exist yet.
        const auto at = admin.find("@/") + 2;
        uri = admin.substr(0, at) + database + admin.substr(admin.find('?'));
        dir.write("pgpass", "");
        ::chmod(dir.path("pgpass").c_str(), 0600);
        ::setenv("PGPASSFILE", dir.path("pgpass").c_str(), 1);
    }
    void TearDown() override {
        if (admin.empty())
            return;
        Psql(admin, "DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
        for (const char* login : {"adm_", "g1_", "g2_"})
            Psql(admin, "DROP ROLE IF EXISTS " + std::string(login) + tag);
    }

    // A station's configuration and password line, from what add-station printed.
    std::string Configure(const std::string& name, const std::string& printed) {
        dir.write(name, "; poste\n[Journal]\nServer=" + LineAfter(printed, "Server=") +
                            "\n[Station]\nName=" + LineAfter(printed, "Name=") + "\n");
        std::istringstream lines(printed);
        std::string line, last;
        while (std::getline(lines, line))
            last = line;
        dir.write("pgpass", dir.read("pgpass") + last + "\n");
        return dir.path(name);
    }
    std::string Format(const std::string& config, const std::string& card) {
        EXPECT_TRUE(reader::SaveCardFile(dir.path(card), BlankCard(0x04, 0x5E2B71)->chip()).ok);
        ::setenv("OSTREL_DATA_DIR", dir.path("data-" + card).c_str(), 1);
        const CliRun run =
            OstrelCard({"--config", config, "--reader", "sim:" + dir.path(card), "format"});
        EXPECT_EQ(run.status, 0) << run.err;
        return LineAfter(run.out, "serial: ");
    }
};

TEST_F(FreshSite, InitAndStationsTwiceThenEachStationFormatsWithThePrintedLines) {
    const CliRun first =
        OstrelCard({"site", "init", uri, "--next", "1000181", "--admin", "adm_" + tag});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("base « " + database + " » créée"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("schéma chargé"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("série commencée, prochain numéro : 1000181"), std::string::npos);
    EXPECT_EQ(
        LineAfter(first.out, "administrateur « adm_" + tag + " » créé, mot de passe : ").size(),
        20u)
        << first.out;
    EXPECT_NE(first.out.find("  hostssl  " + database +
                             "  +ostrel_station  samenet  "
                             "scram-sha-256\n"),
              std::string::npos)
        << first.out;
    EXPECT_EQ(first.out.find("rien à changer"), std::string::npos);

    const CliRun again =
        OstrelCard({"site", "init", uri, "--next", "1982976", "--admin", "adm_" + tag});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("série déjà commencée, prochain numéro : 1000181 (--next 1982976 "
                             "non appliqué)"),
              std::string::npos)
        << again.out;
    EXPECT_NE(again.out.find("administrateur « adm_" + tag + " » déjà là"), std::string::npos);
    EXPECT_NE(again.out.find("rien à changer : le site était déjà prêt"), std::string::npos);
    EXPECT_EQ(again.out.find("mot de passe"), std::string::npos);

    const CliRun one = OstrelCard({"site", "add-station", uri, "g1_" + tag, "--name", "Guichet 1"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(LineAfter(one.out, "Name="), "Guichet 1");
    const CliRun oneAgain = OstrelCard({"site", "add-station", uri, "g1_" + tag});
    ASSERT_EQ(oneAgain.status, 0) << oneAgain.err;
    EXPECT_NE(oneAgain.out.find("déjà là : rien à changer"), std::string::npos) << oneAgain.out;
    const CliRun two = OstrelCard({"site", "add-station", uri, "g2_" + tag});
    ASSERT_EQ(two.status, 0) << two.err;

    const std::string station1 = Configure("g1.ini", one.out);
    const std::string station2 = Configure("g2.ini", two.out);
    EXPECT_EQ(Format(station1, "a.card"), "1000181");
    EXPECT_EQ(Format(station2, "b.card"), "1000182");

    // What the station finds there, and a station that could not format through it.
    const CliRun check = OstrelCard({"journal", "--check-server", LineAfter(two.out, "Server=")});
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("Droits : poste (ostrel_station)\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("Série : commencée, prochain numéro 1000183\n"), std::string::npos);
    journal::ServerAddressParts parts;
    ASSERT_TRUE(journal::SplitAddress(uri, parts));
    parts.database += "_absente";
    const CliRun absent = OstrelCard({"journal", "--check-server", journal::ComposeAddress(parts)});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.out.rfind("Serveur non joint : ", 0), 0u) << absent.out;
}

// The settings window's fields to an address and back, and the password file's line for them.
TEST(ServerAddress, FieldsComposeAnAddressLibpqReadsBackAndThePasswordLineEscapes) {
    const struct {
        journal::ServerAddressParts parts;
        const char* address;
        const char* passwordLine;
    } cases[] = {
        {{"server.example", "", "ostrel", "guichet1", "verify-full"},
         "postgresql://guichet1@server.example/ostrel?sslmode=verify-full",
         "server.example:5432:ostrel:guichet1:p\\\\a\\:ss"},
        {{"/run/postgresql", "5433", "ostrel", "g 1", ""},
         "postgresql://g%201@/ostrel?host=%2Frun%2Fpostgresql&port=5433",
         "/run/postgresql:5433:ostrel:g 1:p\\\\a\\:ss"},
        {{"2001:db8::1", "6432", "base:1", "g@h", "require"},
         "postgresql://g%40h@[2001:db8::1]:6432/base%3A1?sslmode=require",
         "2001\\:db8\\:\\:1:6432:base\\:1:g@h:p\\\\a\\:ss"},
        {{"", "", "ostrel", "g", ""},
         "postgresql://g@/ostrel",
         "localhost:5432:ostrel:g:p\\\\a\\:ss"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(journal::ComposeAddress(c.parts), c.address);
        journal::ServerAddressParts back;
        ASSERT_TRUE(journal::SplitAddress(c.address, back)) << c.address;
        EXPECT_EQ(journal::ComposeAddress(back), c.address);
        EXPECT_EQ(journal::PasswordFileLine(c.parts, "p\\a:ss"), c.passwordLine);
    }
    journal::ServerAddressParts parts;
    EXPECT_FALSE(journal::SplitAddress("service=site", parts)); // its parts are in its own file
    EXPECT_FALSE(journal::SplitAddress("postgresql://[broken", parts));
}

TEST(PasswordFile, TheLineForTheLoginIsReplacedOrPutFirstAndTheFileMadePrivate) {
    TempFolder dir{"ostrel-pgpass"};
    const journal::ServerAddressParts parts{"server.example", "", "ostrel", "g1", ""};
    const std::string others = "# les postes\r\n*:*:*:g1:joker\r\nautre:5432:ostrel:g1:x\r\n";
    dir.write("pgpass", others);
    ::chmod(dir.path("pgpass").c_str(), 0644);
    ::symlink(dir.path("pgpass").c_str(), dir.path("link").c_str());
    std::string error;
    ASSERT_TRUE(journal::KeepPassword(dir.path("link"), parts, "un", error)) << error;
    // First, before the wildcard line that would win otherwise.
    EXPECT_EQ(dir.read("pgpass"), "server.example:5432:ostrel:g1:un\n" + others);
    ASSERT_TRUE(journal::KeepPassword(dir.path("link"), parts, "deux", error)) << error;
    EXPECT_EQ(dir.read("pgpass"), "server.example:5432:ostrel:g1:deux\n" + others);
    struct stat info {};
    ASSERT_EQ(::lstat(dir.path("link").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(dir.path("pgpass").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_TRUE(journal::KeepPassword(dir.path("new"), parts, "trois", error)) << error;
    EXPECT_EQ(dir.read("new"), "server.example:5432:ostrel:g1:trois\n");
    ASSERT_EQ(::stat(dir.path("new").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

} // namespace
