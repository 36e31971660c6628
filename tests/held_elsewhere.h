#pragma once

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// The configuration's lock or the journal held by another process (tests/hold_lock.cpp) until
// Release() or the end of the scope.
class HeldElsewhere {
public:
    // kind: "config" (the file is the lock file) or "journal".
    HeldElsewhere(const std::string& program, const std::string& kind, const std::string& file) {
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        const char* argv[] = {program.c_str(), kind.c_str(), file.c_str(), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        release_ = toChild[1];
        char answer[5] = {};
        held_ = pid_ > 0 && ::read(fromChild[0], answer, 4) == 4 && std::string(answer) == "held";
        ::close(fromChild[0]);
    }
    ~HeldElsewhere() { Release(); }
    HeldElsewhere(const HeldElsewhere&) = delete;
    HeldElsewhere& operator=(const HeldElsewhere&) = delete;

    bool held() const { return held_; }
    pid_t pid() const { return pid_; }

    void Release() {
        if (release_ >= 0)
            ::close(release_);
        release_ = -1;
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};
