#include "token_command.h"

#include "arguments.h"
#include "credit_command.h"

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
    "Code de sortie 0 seulement quand la carte est écrite et vérifiée.\n";

} // namespace

int TokenCommand::execute(const GlobalOptions& options, const std::vector<std::string>& args,
                          CommandIo& io) {
    Arguments parsed;
    std::string error;
    if (!ParseArguments(args, {"--credits"}, {"--use-last-attempt"}, parsed, error)) {
        io.err << "ostrel-card token : " << error << "\n";
        return 2;
    }
    if (parsed.has("--help")) {
        io.out << kHelp;
        return 0;
    }
    if (parsed.positional.size() != 1) {
        io.err << "ostrel-card token : donnez le programme, et lui seul\n";
        return 2;
    }
    const std::string programme = parsed.positional.front();
    const std::string credits = parsed.value("--credits");
    return RunDisposableWrite(options, parsed.has("--use-last-attempt"), name(), io,
                              [&](workflows::DisposableWorkflow& workflow) {
                                  workflow.fields().programme = programme;
                                  workflow.fields().credit = credits;
                                  workflow.WriteTokenCard();
                              });
}

} // namespace ostrel::cli
