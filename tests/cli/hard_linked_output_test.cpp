#include "../cli_run.h"
#include "../full_file_system.h"
#include "../temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

// An output with a second name is rewritten in place so that both names see the result; on a
// disk too full for it, the save is refused with the output untouched and nothing left behind,
// never half written and reported as unchanged.
TEST(HardLinkedOutput, FullDiskRefusesTheOverwriteOrWritesItWhole) {
    const struct Case {
        std::size_t plainSize;
        bool fits;
    } cases[] = {
        {200000, true},   // smaller than the old output
        {600000, false},  // the room past the old end exists, a whole copy beside it does not
        {1100000, false}, // not even the room past the old end
    };
    for (const Case& c : cases) {
        const TempFolder work("ostrel-des-link");
        work.write("key", "MyKey123\n");
        ::chmod(work.path("key").c_str(), 0600);
        work.write("old", std::string(300000, 'o'));
        work.write("new", std::string(c.plainSize, 'n'));
        const SmallFileSystem disk(1024);
        if (!disk.mounted())
            GTEST_SKIP() << "no private file system (needs root)";
        const auto encrypt = [&](const std::string& in) {
            return OstrelCard({"des", "encrypt", work.path(in), disk.path("out"), "--key-file",
                               work.path("key"), "--overwrite"});
        };
        ASSERT_EQ(encrypt("old").status, 0);
        fs::create_hard_link(disk.path("out"), disk.path("other-name"));
        const std::string before = disk.folder().read("out");

        const CliRun run = encrypt("new");
        const std::string after = disk.folder().read("out");
        EXPECT_EQ(disk.folder().read("other-name"), after) << c.plainSize;
        EXPECT_EQ(std::distance(fs::directory_iterator(disk.folder().dir()), {}), 2)
            << c.plainSize << ": no temporary file left";
        if (c.fits) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_NE(after, before);
            EXPECT_EQ(OstrelCard({"des", "decrypt", disk.path("out"), work.path("back"),
                                  "--key-file", work.path("key")})
                          .status,
                      0);
            EXPECT_EQ(work.read("back"), work.read("new"));
        } else {
            EXPECT_NE(run.status, 0) << c.plainSize;
            EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("aucun fichier n'a été modifié"), std::string::npos);
            EXPECT_EQ(after, before) << c.plainSize;
        }
    }
}
