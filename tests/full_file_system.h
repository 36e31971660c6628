#pragma once

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/mount.h>

// A private file system of a few kibibytes (tmpfs) mounted in a folder of the test's own, to
// fill up; unmounted and removed when the test ends. Mounting needs root, which the tests have;
// mounted() is false elsewhere and the test is skipped.
class SmallFileSystem {
public:
    explicit SmallFileSystem(std::size_t kibibytes) : folder_("ostrel-fs") {
        const std::string options = "size=" + std::to_string(kibibytes) + "k,mode=0755";
        mounted_ = ::mount("tmpfs", folder_.dir().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_)
            ::umount2(folder_.dir().c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    std::string path(const std::string& name) const { return folder_.path(name); }
    const TempFolder& folder() const { return folder_; }

    // Takes every free byte but `leave`, in a file of its own.
    void fill(std::size_t leave = 0) const {
        std::FILE* f = std::fopen(path("filler").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        static const char block[512] = {};
        while (std::fwrite(block, 1, sizeof block, f) == sizeof block && std::fflush(f) == 0) {
        }
        std::fclose(f);
        if (leave)
            ::truncate(path("filler").c_str(), ::lseek(-1, 0, SEEK_END));
    }

private:
    TempFolder folder_;
    bool mounted_ = false;
};
