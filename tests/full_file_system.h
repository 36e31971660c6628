#pragma once

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
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

    // Takes every free byte, in a file of its own.
    void fill() const {
        std::ofstream filler(path("filler"), std::ios::binary);
        const std::string block(4096, '\0');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())).flush()) {
        }
    }

private:
    TempFolder folder_;
    bool mounted_ = false;
};
