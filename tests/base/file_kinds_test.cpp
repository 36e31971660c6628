// Reading and replacing files of every kind a user may name: what is refused, what is kept.
#include "../temp_folder.h"
#include "base/atomic_file.h"
#include "base/regular_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ostrel::base::ReadRegularFile;
using ostrel::base::WriteFileAtomically;

class FileKinds : public ::testing::Test, protected TempFolder {
protected:
    FileKinds() : TempFolder("ostrel-base") {}
    int entries() const {
        return static_cast<int>(std::distance(fs::directory_iterator(dir()), {}));
    }
};

// Each kind of name a reader may be given: accepted content, or a refusal naming the kind.
TEST_F(FileKinds, ReadingRefusesAnythingButASmallRegularFile) {
    write("plain", "contenu");
    write("big", std::string(65, 'x'));
    ::mkfifo(path("fifo").c_str(), 0600);
    ::mknod(path("zero").c_str(), S_IFCHR | 0600, makedev(1, 5));
    fs::create_directory(path("folder"));
    fs::create_symlink("plain", path("link"));
    struct Case {
        const char* name;
        bool ok;
        const char* says;
    } cases[] = {
        {"plain", true, ""},
        {"link", true, ""},
        {"missing", false, "fichier introuvable"},
        {"folder", false, "c'est un dossier"},
        {"fifo", false, "tube nommé (FIFO)"},
        {"zero", false, "périphérique"},
        {"big", false, "fichier trop grand (65 octets, au plus 64 octets)"},
    };
    for (const Case& c : cases) {
        std::string content;
        const auto result = ReadRegularFile(path(c.name), 64, content);
        EXPECT_EQ(result.ok, c.ok) << c.name << ": " << result.error;
        EXPECT_NE(result.error.find(c.says), std::string::npos) << c.name << ": " << result.error;
        if (c.ok)
            EXPECT_EQ(content, "contenu");
        else
            EXPECT_EQ(result.error.rfind(path(c.name), 0), 0u) << "names the file first";
    }
}

TEST_F(FileKinds, ReplacingRefusesWhatIsNotAWritableRegularFile) {
    ::mkfifo(path("fifo").c_str(), 0600);
    ::mknod(path("null").c_str(), S_IFCHR | 0600, makedev(1, 3));
    fs::create_directory(path("folder"));
    write("readonly", "ancien");
    ::chmod(path("readonly").c_str(), 0444);
    for (const char* name : {"fifo", "null", "folder", "readonly", "missing-folder/file"}) {
        const auto result = WriteFileAtomically(path(name), "nouveau");
        EXPECT_FALSE(result.ok) << name;
        EXPECT_EQ(result.error.rfind(path(name), 0), 0u) << result.error;
    }
    EXPECT_EQ(read("readonly"), "ancien");
    struct stat info {};
    ASSERT_EQ(::stat(path("null").c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "a device is never replaced by a file";
}

// What a user set up around the file survives a save: the link, the mode, the other names.
TEST_F(FileKinds, ReplacingKeepsLinksModeAndHardLinks) {
    write("target", "ancien");
    ::chmod(path("target").c_str(), 0600);
    fs::create_symlink("target", path("link"));
    ASSERT_TRUE(WriteFileAtomically(path("link"), "par le lien").ok);
    EXPECT_TRUE(fs::is_symlink(path("link")));
    EXPECT_EQ(read("target"), "par le lien");
    EXPECT_EQ(fs::status(path("target")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    fs::create_hard_link(path("target"), path("other-name"));
    ASSERT_TRUE(WriteFileAtomically(path("target"), "court"));
    EXPECT_EQ(read("other-name"), "court");
    EXPECT_EQ(entries(), 3) << "no temporary file left";
}

// A save killed before its rename leaves its temporary file; the next save into the same
// folder removes it, whichever file it was saving.
TEST_F(FileKinds, NextSaveRemovesTemporariesOfADeadSave) {
    write("card", "ancien");
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0); // a process that is surely gone
    const std::string left =
        ostrel::base::TemporaryPrefix("card") + std::to_string(child) + "-abcdef";
    write(left, "moitié");
    const std::string otherCard =
        ostrel::base::TemporaryPrefix("other.card") + std::to_string(child) + "-0a1b2c";
    write(otherCard, "moitié");
    write(".notes.tmp-" + std::to_string(child) + "-mine", "not a save's");
    // Another computer's save in progress in a shared folder: its PID means nothing here.
    const std::string elsewhere =
        ".card.ostrel-tmp-poste-de-la-salle-voisine-" + std::to_string(child) + "-abcdef";
    write(elsewhere, "moitié");
    write(ostrel::base::TemporaryPrefix("card") + std::to_string(::getppid()) + "-abcdef",
          "vivant");
    ASSERT_TRUE(WriteFileAtomically(path("card"), "nouveau"));
    EXPECT_FALSE(fs::exists(path(left)));
    EXPECT_FALSE(fs::exists(path(otherCard)));
    EXPECT_TRUE(fs::exists(path(elsewhere)));
    EXPECT_EQ(entries(), 4)
        << "the live process's temporary file, another program's and another host's stay";
    EXPECT_EQ(read("card"), "nouveau");
}

} // namespace
