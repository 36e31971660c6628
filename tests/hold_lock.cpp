// Another program holding what a card operation waits for: "hold_lock config FILE" takes the
// flock of FILE, "hold_lock journal FILE" an exclusive transaction on the SQLite file FILE. It
// prints "held" once it holds it, and lets go when its standard input ends.
#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string what = argv[1];
    sqlite3* db = nullptr;
    if (what == "config") {
        const int fd = ::open(argv[2], O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            return 1;
    } else if (what == "journal") {
        if (sqlite3_open(argv[2], &db) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return 1;
    } else {
        return 2;
    }
    std::puts("held");
    std::fflush(stdout);
    char c = 0;
    while (::read(0, &c, 1) > 0) {
    }
    sqlite3_close(db);
    return 0;
}
