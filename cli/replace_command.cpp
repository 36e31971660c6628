#include "commands.h"

#include "cli_journal.h"
#include "cli_reader.h"
#include "format_run.h"
#include "workflows/format_workflow.h"
#include "workflows/replacement.h"

#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] [--config FICHIER] [--journal FICHIER|ADRESSE] "
    "replace ANCIEN [--force] [--use-last-attempt]\n"
    "Remplace la carte perdue de numéro ANCIEN : la carte vierge du lecteur est formatée avec\n"
    "un nouveau numéro, réservé comme par format, puis reçoit le type et les crédits de la\n"
    "dernière écriture vérifiée de l'ancienne ; l'ancienne est mise en opposition\n"
    "« remplacée par NOUVEAU » et le journal lie les deux (opération « remplacement »).\n"
    "Refusé, avant de toucher la carte, quand la dernière écriture de l'ancienne ne porte aucun\n"
    "crédit, quand elle est déjà remplacée, ou quand elle est en opposition pour une autre\n"
    "raison (sauf avec --force).\n"
    "Affiche le message de la fenêtre, puis « serial: NOUVEAU » et « replaced: ANCIEN ».\n"
    "Code de sortie 0 seulement quand la nouvelle carte est écrite et vérifiée, et les deux\n"
    "opérations inscrites au journal.\n";

class ReplaceCommand : public Command {
public:
    ReplaceCommand()
        : Command({.name = "replace",
                   .description = "remplace une carte perdue par une carte vierge",
                   .help = kHelp,
                   .options = {{"--force",
                                base::OptionValue::None,
                                {},
                                "remplace aussi une carte en opposition pour une autre raison"},
                               {"--use-last-attempt"}},
                   .arguments = {1, 1, "le numéro de la carte à remplacer est attendu"}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int ReplaceCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed,
                        CommandIo& io) {
    const std::string& text = parsed.positional[0];
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        io.err << refusal("numéro de série attendu, pas « " + text.substr(0, 20) + " »") << "\n";
        return 2;
    }
    const std::int64_t old = std::stoll(text);
    CliJournal journal;
    if (!journal.open(options, "replace", io))
        return 1;
    workflows::Replacement replacement;
    std::string refusal;
    bool confirmable = false;
    if (!workflows::PrepareReplacement(journal.journal(), old, parsed.has("--force"), replacement,
                                       refusal, &confirmable)) {
        io.err << "ostrel-card replace : " << refusal << (confirmable ? " (--force)" : "") << "\n";
        return 1;
    }
    CliReader cli;
    if (!cli.open(options, io))
        return 1;
    workflows::WorkflowOptions workflowOptions;
    workflowOptions.spendLastAttempt = parsed.has("--use-last-attempt");
    workflowOptions.journal = journal.writer();
    workflowOptions.waiting = journal.waiting();
    workflows::FormatWorkflow workflow(cli.state(), journal.series(), workflowOptions);
    workflow.SetReplacement(replacement);
    if (!RunFormatInsertion(workflow, cli, "replace", io))
        return 1;
    if (workflow.serialWritten() >= 0)
        io.out << "serial: " << workflow.serialWritten() << "\n";
    if (workflow.replacedBy())
        io.out << "replaced: " << old << "\n";
    PrintFormatAfterword(workflow, "replace", io);
    return workflow.outcome() == workflows::FormatOutcome::Replaced && workflow.problem().empty()
               ? 0
               : 1;
}

std::unique_ptr<Command> NewReplaceCommand() {
    return std::make_unique<ReplaceCommand>();
}

} // namespace ostrel::cli
