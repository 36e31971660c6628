#include "commands.h"

#include "card/dump_lines.h"
#include "cli_reader.h"
#include "reader/card_session.h"
#include "reader/identification.h"
#include "reader/security_state.h"

#include <ostream>

namespace ostrel::cli {

namespace {

// Prints the card's 16 dump lines and the verdict, as the dump window shows them.
class DumpCommand : public Command {
public:
    DumpCommand()
        : Command({.name = "dump",
                   .description = "affiche la mémoire de la carte du lecteur",
                   .help = "usage : ostrel-card [--reader LECTEUR] dump [--security]\n"
                           "Lit la carte du lecteur et affiche ses 256 octets en 16 lignes, "
                           "puis le verdict.\n"
                           "Code de sortie 0 quand la carte a répondu et a été lue, 1 sinon.\n",
                   .options = {{"--security",
                                base::OptionValue::None,
                                {},
                                "puis les essais restants et les octets 0 à 31 protégés, lus\n"
                                "sans présenter de code (« inconnu » quand le lecteur ne sait\n"
                                "pas les lire)"}}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int DumpCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) {
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    auto& state = cli.state();
    // A card that does not answer as an SLE4442 is not read at all; a read that fails part-way
    // leaves FF in the blocks not read, and fails the command too.
    std::int32_t readResult = -1;
    const int type = reader::IdentifyCard(state, &readResult);
    const bool read = type != reader::kIdentifyNoAnswer && readResult == 0;
    // Identification ends the session itself unless it found one of our cards.
    if (type >= 0)
        reader::EndCardSession(state);
    const bool security = parsed.has("--security");
    reader::SecurityState cardSecurity; // a card that did not answer has none
    if (security && type != reader::kIdentifyNoAnswer)
        cardSecurity = reader::ReadSecurityState(state);
    for (const auto& line : card::DumpLines(state.CardImage))
        io.out << line << "\n";
    io.out << state.InfoMessage << "\n";
    if (security)
        io.out << "sécurité : " << reader::SecurityStateText(cardSecurity) << "\n";
    return read ? 0 : 1;
}

std::unique_ptr<Command> NewDumpCommand() {
    return std::make_unique<DumpCommand>();
}

} // namespace ostrel::cli
