#pragma once

#include "base/waiting.h"
#include "command.h"
#include "workflows/journal_setting.h"

#include <memory>
#include <optional>

namespace ostrel::cli {

// The journal a command records its card operations in, and the serial series: --journal (a
// file or a server), else [Journal] Server of the configuration, else the per-user file. The
// journal file and the configuration's lock are waited for within "[Journal] Attente" of the
// configuration.
class CliJournal {
public:
    // False after telling io.err why, as "ostrel-card COMMAND : reason".
    bool open(const GlobalOptions& options, const std::string& command, CommandIo& io);

    journal::Journal& journal() { return place_->journal(); }
    workflows::SerialSeries& series() { return place_->series(); }
    journal::PgJournal* server() { return place_->server(); }
    journal::Writer writer() { return {&journal(), "ostrel-card", reader_, station_}; }
    base::Waiting* waiting() { return waiting_.get(); }

private:
    std::unique_ptr<base::Waiting> waiting_;
    std::optional<workflows::JournalPlace> place_;
    std::string reader_;
    std::string station_;
};

} // namespace ostrel::cli
