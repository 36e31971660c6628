#include "format_run.h"

#include <ostream>

namespace ostrel::cli {

bool RunFormatInsertion(workflows::FormatWorkflow& workflow, CliReader& cli,
                        const std::string& command, CommandIo& io) {
    const std::string prefix = "ostrel-card " + command + " : ";
    workflow.Load();
    // A serial that cannot be trusted is refused before the card is touched.
    if (workflow.formattingBlocked()) {
        io.out << workflow.info() << "\n";
        io.err << prefix << workflow.problem() << "\n";
        return false;
    }
    if (!cli.requireCard(io))
        return false;
    workflow.CardInserted();
    workflow.Unload();
    if (!workflow.warning().empty())
        io.err << prefix << "attention : " << workflow.warning() << "\n";
    io.out << workflow.info() << "\n";
    if (workflow.outcome() == workflows::FormatOutcome::Nothing)
        io.err << prefix << cli.state().InfoMessage << "\n";
    return true;
}

void PrintFormatAfterword(const workflows::FormatWorkflow& workflow, const std::string& command,
                          CommandIo& io) {
    if (!workflow.problem().empty())
        io.err << "ostrel-card " << command << " : " << workflow.problem() << "\n";
    if (!workflow.notice().empty())
        io.err << "ostrel-card " << command << " : " << workflow.notice() << "\n";
}

} // namespace ostrel::cli
