// EncryptFile and DecryptFile: results, refusals, and files left as they were on failure.

#include "cls_des.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using ostrel::des::clsDES;
using ostrel::des::FileFailure;

class DesFile : public ::testing::Test {
protected:
    fs::path folder;

    void SetUp() override {
        std::random_device seed;
        folder = fs::temp_directory_path() / ("des_file_test_" + std::to_string(seed()));
        fs::create_directories(folder);
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder);
    }

    fs::path write(const std::string& name, const std::string& content) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
    }
};

const char kContentBytes[] = "binary\0content\xFF\x80 with a few bytes";
const std::string kContent(kContentBytes, sizeof kContentBytes - 1);

TEST_F(DesFile, RoundTrip) {
    const fs::path plain = write("plain.bin", kContent);
    clsDES des;
    ASSERT_TRUE(des.EncryptFile(plain, folder / "cipher.bin", false, "key"));
    EXPECT_EQ(fs::file_size(folder / "cipher.bin"), 48u);
    ASSERT_TRUE(des.DecryptFile(folder / "cipher.bin", folder / "back.bin", false, "key"));
    EXPECT_EQ(read(folder / "back.bin"), kContent);
    EXPECT_EQ(des.LastFileFailure(), FileFailure::None);
    EXPECT_EQ(entries(), 3u);
}

TEST_F(DesFile, ExistingOutputNeedsOverwrite) {
    const fs::path in = write("in.bin", kContent);
    const fs::path out = write("out.bin", "keep me");
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    clsDES des;
    EXPECT_FALSE(des.EncryptFile(in, out, false, "key"));
    EXPECT_EQ(des.LastFileFailure(), FileFailure::OutputExists);
    EXPECT_EQ(read(out), "keep me");

    ASSERT_TRUE(des.EncryptFile(in, out, true, "key"));
    EXPECT_EQ(fs::file_size(out), 48u);
    EXPECT_EQ(fs::status(out).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), 2u);
}

TEST_F(DesFile, MissingInput) {
    clsDES des;
    EXPECT_FALSE(des.EncryptFile(folder / "absent", folder / "out", false, "key"));
    EXPECT_EQ(des.LastFileFailure(), FileFailure::MissingInput);
    EXPECT_FALSE(des.DecryptFile(folder, folder / "out", true, "key")) << "a folder is no file";
    EXPECT_EQ(entries(), 0u);
}

TEST_F(DesFile, InputAsOutput) {
    const fs::path file = write("same.bin", kContent);
    clsDES des;
    EXPECT_FALSE(des.EncryptFile(file, file, false, "key"));
    EXPECT_EQ(read(file), kContent);

    ASSERT_TRUE(des.EncryptFile(file, file, true, "key"));
    EXPECT_NE(read(file), kContent);
    ASSERT_TRUE(des.DecryptFile(file, file, true, "key"));
    EXPECT_EQ(read(file), kContent);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(DesFile, OutputThroughSymbolicLinkKeepsTheLink) {
    const fs::path in = write("in.bin", kContent);
    const fs::path target = write("target.bin", "old");
    fs::create_symlink(target, folder / "link.bin");
    clsDES des;
    ASSERT_TRUE(des.EncryptFile(in, folder / "link.bin", true, "key"));
    EXPECT_TRUE(fs::is_symlink(folder / "link.bin"));
    EXPECT_EQ(fs::file_size(target), 48u);
}

TEST_F(DesFile, FailedDecryptionLeavesOutputAlone) {
    const fs::path plain = write("plain.bin", kContent);
    const fs::path out = write("out.bin", "previous");
    clsDES des;
    ASSERT_TRUE(des.EncryptFile(plain, folder / "cipher.bin", false, "right"));
    EXPECT_FALSE(des.DecryptFile(folder / "cipher.bin", out, true, "wrong"));
    EXPECT_EQ(des.LastFileFailure(), FileFailure::CipherFailed);
    EXPECT_EQ(read(out), "previous");
    EXPECT_FALSE(des.DecryptFile(plain, out, true, "right")) << "35 bytes is no cipher length";
    EXPECT_EQ(read(out), "previous");
    EXPECT_EQ(entries(), 3u);
}

// Renaming over a folder that holds a file fails after the data has been written: the
// temporary file must go and the folder stay.
TEST_F(DesFile, FailedWriteLeavesNothingBehind) {
    const fs::path in = write("in.bin", kContent);
    fs::create_directory(folder / "busy");
    write("busy/inside", "x");
    clsDES des;
    EXPECT_FALSE(des.EncryptFile(in, folder / "busy", true, "key"));
    EXPECT_EQ(des.LastFileFailure(), FileFailure::WriteFailed);
    EXPECT_EQ(read(folder / "busy" / "inside"), "x");
    EXPECT_EQ(read(in), kContent);
    EXPECT_EQ(entries(), 2u);
}

TEST_F(DesFile, ReadOnlyFolder) {
    const fs::path in = write("in.bin", kContent);
    const fs::path out = write("out.bin", "previous");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(folder / "probe")) {
        fs::remove(folder / "probe");
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    clsDES des;
    EXPECT_FALSE(des.EncryptFile(in, out, true, "key"));
    EXPECT_EQ(des.LastFileFailure(), FileFailure::WriteFailed);
    EXPECT_EQ(read(out), "previous");
    EXPECT_EQ(read(in), kContent);
    EXPECT_EQ(entries(), 2u);
}

} // namespace
