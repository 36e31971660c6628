#pragma once

#include "base/waiting.h"
#include "command.h"
#include "journal/sqlite_journal.h"

#include <string>

namespace ostrel::cli {

// The journal a command records its card operations in: --journal, or the per-user file. It and
// the configuration's lock are waited for within "[Journal] Attente" of the configuration.
class CliJournal {
public:
    explicit CliJournal(const GlobalOptions& options);

    // False, after saying why on err, when the wait limit of the configuration is refused.
    bool ready(CommandIo& io, const std::string& command) const;

    journal::SqliteJournal& journal() { return journal_; }
    journal::Writer writer() { return {&journal_, "ostrel-card", reader_}; }
    base::Waiting* waiting() { return &waiting_; }

private:
    std::string settingError_;
    base::Waiting waiting_;
    journal::SqliteJournal journal_;
    std::string reader_;
};

} // namespace ostrel::cli
