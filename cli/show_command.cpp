#include "commands.h"

#include "card/card_layout.h"
#include "cli_journal.h"
#include "cli_reader.h"
#include "workflows/disposable_workflow.h"

#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] show\n"
    "Fait ce que la fenêtre de programmation fait à l'insertion de la carte et affiche son\n"
    "message, puis « kind: token », « kind: credit » ou « kind: unknown » et « credits: N ».\n"
    "Code de sortie 0 quand la carte lue est une carte JETON ou CREDIT.\n";

const char* KindName(std::uint8_t kind) {
    switch (kind) {
    case card::layout::kKindToken:
        return "token";
    case card::layout::kKindCredit:
        return "credit";
    default:
        return "unknown";
    }
}

// Shows the card in the reader as the card-programming window does when it is inserted, then
// the kind and credits the card holds.
class ShowCommand : public Command {
public:
    ShowCommand()
        : Command({.name = "show",
                   .description = "montre le type et les crédits de la carte",
                   .help = kHelp}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int ShowCommand::run(const GlobalOptions& options, const base::ParsedLine&, CommandIo& io) {
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    // A formatted card is rewritten with its own bytes at insertion: that is recorded too.
    CliJournal journal;
    if (!journal.open(options, "show", io))
        return 1;
    workflows::WorkflowOptions workflowOptions;
    workflowOptions.waiting = journal.waiting();
    workflowOptions.journal = journal.writer();
    workflows::DisposableWorkflow workflow(cli.state(), workflowOptions);
    workflow.Load();
    workflow.CardInserted();
    workflow.Unload();
    if (!workflow.warning().empty())
        io.err << "ostrel-card show : attention : " << workflow.warning() << "\n";
    io.out << workflow.info() << "\n";
    using workflows::DisposableOutcome;
    const DisposableOutcome outcome = workflow.outcome();
    if (outcome == DisposableOutcome::Nothing) {
        io.err << "ostrel-card show : " << cli.state().InfoMessage << "\n";
    }
    if (!workflow.problem().empty())
        io.err << "ostrel-card show : " << workflow.problem() << "\n";
    const bool shown =
        outcome == DisposableOutcome::ShownToken || outcome == DisposableOutcome::ShownCredit ||
        outcome == DisposableOutcome::ShownUnknown || outcome == DisposableOutcome::Rewritten;
    if (!shown)
        return 1;
    const std::uint8_t kind = cli.state().CardImage[card::layout::kDisposableKind];
    io.out << "kind: " << KindName(kind) << "\n"
           << "credits: " << int{cli.state().CardImage[card::layout::kDisposableValue]} << "\n";
    return kind == card::layout::kKindToken || kind == card::layout::kKindCredit ? 0 : 1;
}

std::unique_ptr<Command> NewShowCommand() {
    return std::make_unique<ShowCommand>();
}

} // namespace ostrel::cli
