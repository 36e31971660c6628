#include "commands.h"

#include "disposable_write.h"
#include "number_argument.h"

#include <optional>
#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] token PROGRAMME [--credits N] [--use-last-attempt]\n"
    "Ecrit une carte JETON, comme la fenêtre de programmation à l'insertion de la carte puis au\n"
    "bouton « Ecriture Valeur Jetable ». Les programmes 1 à 5 donnent 3, 5, 7, 8 et 10 crédits ;\n"
    "les autres (0 à 255) prennent N crédits (0 à 255, 0 sans --credits).\n"
    "Affiche le message de la fenêtre, puis « credits: N ».\n"
    "Une carte qui n'a plus qu'un essai n'est pas touchée, sauf avec --use-last-attempt.\n"
    "Code de sortie 0 seulement quand la carte est écrite et vérifiée, et\n"
    "l'opération inscrite au journal.\n";

// Writes a token card, as the card-programming window does when the card is inserted and its
// button "Ecriture Valeur Jetable" is pressed: programmes 1 to 5 fix the credits.
class TokenCommand : public Command {
public:
    TokenCommand()
        : Command({.name = "token",
                   .description = "écrit une carte JETON d'un programme",
                   .help = kHelp,
                   .options = {{"--credits", base::OptionValue::Required}, {"--use-last-attempt"}},
                   .arguments = {1, 1, "donnez le programme, et lui seul"}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int TokenCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) {
    std::string error;
    const auto programme = NumberArgument(parsed.positional.front(), error);
    if (!programme) {
        io.err << refusal("programme " + error) << "\n";
        return 2;
    }
    std::optional<int> credits = 0;
    if (parsed.has("--credits") && !(credits = NumberArgument(parsed.value("--credits"), error))) {
        io.err << refusal("--credits : " + error) << "\n";
        return 2;
    }
    return RunDisposableWrite(options, parsed.has("--use-last-attempt"), name(), io,
                              [&](workflows::DisposableWorkflow& workflow) {
                                  workflow.fields().programme = std::to_string(*programme);
                                  workflow.fields().credit = std::to_string(*credits);
                                  workflow.WriteTokenCard();
                              });
}

std::unique_ptr<Command> NewTokenCommand() {
    return std::make_unique<TokenCommand>();
}

} // namespace ostrel::cli
