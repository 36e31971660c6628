#include "commands.h"

#include "cli_journal.h"
#include "cli_reader.h"
#include "format_run.h"
#include "workflows/format_workflow.h"

#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] [--config FICHIER] [--journal FICHIER|ADRESSE] "
    "format [--use-last-attempt]\n"
    "Formate la carte du lecteur comme la fenêtre de formatage à l'insertion : une carte vierge\n"
    "reçoit le numéro de série NextSerial (section Format) de la configuration, réservé et\n"
    "avancé avant que la carte soit écrite ; une carte déjà formatée garde le sien.\n"
    "Un formatage interrompu que le journal connaît est refait en entier avec le même numéro.\n"
    "Chaque opération est inscrite au journal avant et après l'écriture.\n"
    "Avec un serveur PostgreSQL (--journal postgresql://... ou service=NOM, ou Server=\n"
    "dans la section Journal de la configuration), le numéro vient de la série du serveur,\n"
    "partagée par tous les postes : NextSerial n'est plus utilisé.\n"
    "Affiche le message de la fenêtre, puis « serial: N » ou « old serial: N ».\n"
    "Une carte qui n'a plus qu'un essai n'est pas touchée, sauf avec --use-last-attempt.\n"
    "Le journal ou la configuration tenus par un autre programme, la série du serveur tenue\n"
    "par un autre poste, sont attendus au plus [Journal] Attente secondes (30 par défaut),\n"
    "puis la carte est refusée, intacte.\n"
    "Code de sortie 0 seulement quand la carte est formatée et vérifiée, et\n"
    "l'opération inscrite au journal.\n";

// Formats the card in the reader as the formatting window does when it is inserted: a blank
// card receives the next serial of the configuration, which then advances.
class FormatCommand : public Command {
public:
    FormatCommand()
        : Command({.name = "format",
                   .description = "formate la carte du lecteur",
                   .help = kHelp,
                   .options = {{"--use-last-attempt"}}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int FormatCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed,
                       CommandIo& io) {
    CliJournal journal;
    if (!journal.open(options, "format", io))
        return 1;
    CliReader cli;
    if (!cli.open(options, io))
        return 1;
    workflows::WorkflowOptions workflowOptions;
    workflowOptions.spendLastAttempt = parsed.has("--use-last-attempt");
    workflowOptions.journal = journal.writer();
    workflowOptions.waiting = journal.waiting();
    workflows::FormatWorkflow workflow(cli.state(), journal.series(), workflowOptions);
    if (!RunFormatInsertion(workflow, cli, "format", io))
        return 1;
    if (workflow.outcome() == workflows::FormatOutcome::Formatted) {
        io.out << "serial: " << workflow.serialWritten() << "\n";
    }
    if (workflow.outcome() == workflows::FormatOutcome::AlreadyFormatted) {
        io.out << "old serial: " << workflow.oldSerial() << "\n";
    }
    PrintFormatAfterword(workflow, "format", io);
    const bool done = workflow.outcome() == workflows::FormatOutcome::Formatted ||
                      workflow.outcome() == workflows::FormatOutcome::AlreadyFormatted;
    // A card written that the journal could not record as done is not reported as done.
    return done && workflow.problem().empty() ? 0 : 1;
}

std::unique_ptr<Command> NewFormatCommand() {
    return std::make_unique<FormatCommand>();
}

} // namespace ostrel::cli
