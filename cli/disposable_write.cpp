#include "disposable_write.h"

#include "card/card_layout.h"
#include "cli_journal.h"
#include "cli_reader.h"
#include "workflows/workflow_texts.h"

#include <ostream>

namespace ostrel::cli {

namespace {

bool InsertionFailed(workflows::DisposableOutcome outcome) {
    using workflows::DisposableOutcome;
    return outcome == DisposableOutcome::Nothing || outcome == DisposableOutcome::CodeRefused ||
           outcome == DisposableOutcome::Failed || outcome == DisposableOutcome::Refused;
}

} // namespace

int RunDisposableWrite(const GlobalOptions& options, bool spendLastAttempt,
                       const std::string& commandName, CommandIo& io,
                       const std::function<void(workflows::DisposableWorkflow&)>& press) {
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    CliJournal journal;
    if (!journal.open(options, commandName, io))
        return 1;
    // The card is shown before it is written: a journal out of reach refuses the command first.
    if (std::string error; !journal.journal().Open(error)) {
        io.out << workflows::texts::JournalRefusal(journal.journal()) << "\n";
        io.err << "ostrel-card " << commandName << " : " << error << "\n";
        return 1;
    }
    workflows::WorkflowOptions workflowOptions;
    workflowOptions.waiting = journal.waiting();
    workflowOptions.spendLastAttempt = spendLastAttempt;
    workflowOptions.journal = journal.writer();
    workflows::DisposableWorkflow workflow(cli.state(), workflowOptions);
    workflow.Load();
    workflow.CardInserted();
    if (!workflow.warning().empty())
        io.err << "ostrel-card " << commandName << " : attention : " << workflow.warning() << "\n";
    if (InsertionFailed(workflow.outcome())) {
        io.out << workflow.info() << "\n";
        if (workflow.outcome() == workflows::DisposableOutcome::Nothing) {
            io.err << "ostrel-card " << commandName << " : " << cli.state().InfoMessage << "\n";
        }
        if (!workflow.problem().empty())
            io.err << "ostrel-card " << commandName << " : " << workflow.problem() << "\n";
        return 1;
    }
    press(workflow);
    workflow.Unload();
    io.out << workflow.info() << "\n";
    if (!workflow.problem().empty())
        io.err << "ostrel-card " << commandName << " : " << workflow.problem() << "\n";
    if (!workflow.notice().empty())
        io.err << "ostrel-card " << commandName << " : " << workflow.notice() << "\n";
    if (workflow.outcome() != workflows::DisposableOutcome::Written)
        return 1;
    io.out << "credits: " << int{cli.state().WriteImage[card::layout::kDisposableValue]} << "\n";
    // A card written that the journal could not record as done is not reported as done.
    return workflow.problem().empty() ? 0 : 1;
}

} // namespace ostrel::cli
