#include "commands.h"

#include "disposable_write.h"
#include "number_argument.h"

#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] credit N [--use-last-attempt]\n"
    "Ecrit une carte CREDIT portant N crédits (nombre décimal de 0 à 255 ; 2.5 donne 2, 3,5\n"
    "donne 4), comme la fenêtre de programmation à l'insertion de la carte puis au bouton\n"
    "« Ecriture valeur crédit ».\n"
    "Affiche le message de la fenêtre, puis « credits: N ».\n"
    "Une carte qui n'a plus qu'un essai n'est pas touchée, sauf avec --use-last-attempt.\n"
    "Code de sortie 0 seulement quand la carte est écrite et vérifiée, et\n"
    "l'opération inscrite au journal.\n";

// Writes a credit card, as the card-programming window does when the card is inserted and its
// button "Ecriture valeur crédit" is pressed.
class CreditCommand : public Command {
public:
    CreditCommand()
        : Command({.name = "credit",
                   .description = "écrit une carte CREDIT de N crédits",
                   .help = kHelp,
                   .options = {{"--use-last-attempt"}},
                   .arguments = {1, 1, "donnez le nombre de crédits, et lui seul"}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override {
        std::string error;
        const auto number = NumberArgument(parsed.positional.front(), error);
        if (!number) {
            io.err << refusal("nombre de crédits " + error) << "\n";
            return 2;
        }
        const std::string credits = std::to_string(*number);
        return RunDisposableWrite(options, parsed.has("--use-last-attempt"), name(), io,
                                  [&](workflows::DisposableWorkflow& workflow) {
                                      workflow.fields().nbcredit = credits;
                                      workflow.WriteCreditCard();
                                  });
    }
};

} // namespace

std::unique_ptr<Command> NewCreditCommand() {
    return std::make_unique<CreditCommand>();
}

} // namespace ostrel::cli
