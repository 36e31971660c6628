#include "workflows/ini_serial_store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using ostrel::workflows::IniSerialStore;
namespace fs = std::filesystem;

namespace {

struct IniStoreTest : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ostrel-ini-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

} // namespace

TEST_F(IniStoreTest, ReadsTheKeyOrTheDefault) {
    std::string text, error;
    IniSerialStore missing((dir / "none.ini").string());
    ASSERT_TRUE(missing.Read(text, error));
    EXPECT_EQ(text, "1000000");

    IniSerialStore other(Write("other.ini", "[Format]\nSomethingElse=3\n"));
    ASSERT_TRUE(other.Read(text, error));
    EXPECT_EQ(text, "1000000");

    IniSerialStore set(Write("set.ini", "[Format]\nNextSerial=1065472\n"));
    ASSERT_TRUE(set.Read(text, error));
    EXPECT_EQ(text, "1065472");

    // Commas make Qt read a list; the operator typed one text, and it is refused as such.
    IniSerialStore list(Write("list.ini", "[Format]\nNextSerial=1,000,000\n"));
    ASSERT_TRUE(list.Read(text, error));
    EXPECT_EQ(text, "1,000,000");

    IniSerialStore folder(dir.string());
    EXPECT_FALSE(folder.Read(text, error));
    EXPECT_NE(error.find("dossier"), std::string::npos);
}

TEST_F(IniStoreTest, SavesTheNextSerialAndKeepsTheRestOfTheFile) {
    const std::string path =
        Write("c.ini", "[General]\nkept=yes\n\n[Format]\nNextSerial=1000000\n");
    IniSerialStore store(path);
    std::string error;
    ASSERT_TRUE(store.Save(1000001, error)) << error;
    const std::string saved = Contents(path);
    EXPECT_NE(saved.find("NextSerial=1000001"), std::string::npos) << saved;
    EXPECT_NE(saved.find("kept=yes"), std::string::npos) << saved;
    std::string text;
    ASSERT_TRUE(IniSerialStore(path).Read(text, error));
    EXPECT_EQ(text, "1000001");
    // The temporary file of the save is gone: only the file itself is left.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        files += entry.path().extension() != ".lock";
    EXPECT_EQ(files, 1);
}

TEST_F(IniStoreTest, ASaveThatCannotBeMadeSaysSo) {
    // A regular file where the folder should be: nothing can be created below it, even as root.
    const std::string blocker = Write("blocker", "x");
    IniSerialStore store(blocker + "/config.ini");
    std::string error;
    EXPECT_FALSE(store.Save(1000001, error));
    EXPECT_NE(error.find("non enregistré"), std::string::npos) << error;
    EXPECT_NE(error.find(blocker), std::string::npos) << error;
}

TEST(DefaultConfigFile, LiesInTheUsersConfigurationFolder) {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(home, nullptr) << "the test's environment sets XDG_CONFIG_HOME";
    EXPECT_EQ(ostrel::workflows::DefaultConfigFile(),
              std::string(home) + "/ostrel-chipcard/ostrel-chipcard.ini");
}
