#pragma once

#include "command.h"
#include "journal/sqlite_journal.h"

namespace ostrel::cli {

// The journal a command records its card operations in: --journal, or the per-user file.
class CliJournal {
public:
    explicit CliJournal(const GlobalOptions& options);

    journal::SqliteJournal& journal() { return journal_; }
    journal::Writer writer() { return {&journal_, "ostrel-card", reader_}; }

private:
    journal::SqliteJournal journal_;
    std::string reader_;
};

} // namespace ostrel::cli
