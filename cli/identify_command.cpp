#include "commands.h"

#include "card_check_line.h"
#include "cli_reader.h"
#include "reader/card_session.h"
#include "reader/identification.h"

#include <ostream>

namespace ostrel::cli {

namespace {

// Identifies the card in the reader: the verdict text, and "type: N" for a valid card.
class IdentifyCommand : public Command {
public:
    IdentifyCommand()
        : Command({.name = "identify",
                   .description = "identifie la carte du lecteur",
                   .help = "usage : ostrel-card [--reader LECTEUR] identify\n"
                           "Lit la carte du lecteur, affiche le verdict et, pour une carte "
                           "valide, « type: N », puis ce que le journal en dit : carte en\n"
                           "opposition, modifiée hors poste ou inconnue du journal.\n"
                           "Code de sortie 0 pour une carte valide, 1 sinon.\n"}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int IdentifyCommand::run(const GlobalOptions& options, const base::ParsedLine&, CommandIo& io) {
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    auto& state = cli.state();
    const int type = reader::IdentifyCard(state);
    // Identification ends the session itself unless it found one of our cards.
    if (type >= 0)
        reader::EndCardSession(state);
    io.out << state.InfoMessage << "\n";
    if (type >= 0) {
        io.out << "type: " << type << "\n";
        PrintCardCheck(options, "identify", state.CardImage, io);
        return 0;
    }
    return 1;
}

std::unique_ptr<Command> NewIdentifyCommand() {
    return std::make_unique<IdentifyCommand>();
}

} // namespace ostrel::cli
