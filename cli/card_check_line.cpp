#include "card_check_line.h"

#include "cli_journal.h"
#include "workflows/card_check.h"

#include <ostream>

namespace ostrel::cli {

void PrintCardCheck(const GlobalOptions& options, const std::string& command,
                    const card::CardMemory& image, CommandIo& io) {
    CliJournal journal;
    if (!journal.open(options, command, io))
        return;
    const workflows::CardCheck check = workflows::CheckCard(journal.writer(), image);
    if (!check.read) {
        io.err << "ostrel-card " << command << " : contrôle impossible : " << check.error << "\n";
        return;
    }
    if (!check.Text().empty())
        io.out << check.Text() << "\n";
    if (!check.recordError.empty())
        io.err << "ostrel-card " << command << " : contrôle non inscrit : " << check.recordError
               << "\n";
}

} // namespace ostrel::cli
