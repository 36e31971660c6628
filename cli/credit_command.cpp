#include "credit_command.h"

#include "arguments.h"
#include "card/card_layout.h"
#include "cli_reader.h"

#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] credit N [--use-last-attempt]\n"
    "Ecrit une carte CREDIT portant N crédits (0 à 255 ; 2.5 donne 2, 3.5 donne 4), comme la\n"
    "fenêtre de programmation à l'insertion de la carte puis au bouton « Ecriture valeur crédit "
    "».\n"
    "Affiche le message de la fenêtre, puis « credits: N ».\n"
    "Une carte qui n'a plus qu'un essai n'est pas touchée, sauf avec --use-last-attempt.\n"
    "Code de sortie 0 seulement quand la carte est écrite et vérifiée.\n";

bool InsertionFailed(workflows::DisposableOutcome outcome) {
    using workflows::DisposableOutcome;
    return outcome == DisposableOutcome::Nothing || outcome == DisposableOutcome::CodeRefused ||
           outcome == DisposableOutcome::Failed;
}

} // namespace

int RunDisposableWrite(const GlobalOptions& options, bool spendLastAttempt,
                       const std::string& commandName, CommandIo& io,
                       const std::function<void(workflows::DisposableWorkflow&)>& press) {
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    workflows::WorkflowOptions workflowOptions;
    workflowOptions.spendLastAttempt = spendLastAttempt;
    workflows::DisposableWorkflow workflow(cli.state(), workflowOptions);
    workflow.Load();
    workflow.CardInserted();
    if (InsertionFailed(workflow.outcome())) {
        io.out << workflow.info() << "\n";
        if (workflow.outcome() == workflows::DisposableOutcome::Nothing) {
            io.err << "ostrel-card " << commandName << " : " << cli.state().InfoMessage << "\n";
        }
        return 1;
    }
    press(workflow);
    workflow.Unload();
    io.out << workflow.info() << "\n";
    if (workflow.outcome() != workflows::DisposableOutcome::Written)
        return 1;
    io.out << "credits: " << int{cli.state().WriteImage[card::layout::kDisposableValue]} << "\n";
    return 0;
}

int CreditCommand::execute(const GlobalOptions& options, const std::vector<std::string>& args,
                           CommandIo& io) {
    Arguments parsed;
    std::string error;
    if (!ParseArguments(args, {}, {"--use-last-attempt"}, parsed, error)) {
        io.err << "ostrel-card credit : " << error << "\n";
        return 2;
    }
    if (parsed.has("--help")) {
        io.out << kHelp;
        return 0;
    }
    if (parsed.positional.size() != 1) {
        io.err << "ostrel-card credit : donnez le nombre de crédits, et lui seul\n";
        return 2;
    }
    const std::string credits = parsed.positional.front();
    return RunDisposableWrite(options, parsed.has("--use-last-attempt"), name(), io,
                              [&](workflows::DisposableWorkflow& workflow) {
                                  workflow.fields().nbcredit = credits;
                                  workflow.WriteCreditCard();
                              });
}

} // namespace ostrel::cli
