#include "commands.h"

#include "base/text_excerpt.h"
#include "reader/reader_factory.h"

#include <ostream>

namespace ostrel::cli {

namespace {

// Lists the PC/SC readers: whether a card is in each, its ATR and the command set found by
// read-only probes, or why none was found.
class ReadersCommand : public Command {
public:
    ReadersCommand()
        : Command({.name = "readers",
                   .description = "liste les lecteurs PC/SC et leur jeu de commandes",
                   .help = "usage : ostrel-card readers\n"
                           "Liste les lecteurs PC/SC : carte présente ou non, son ATR et le jeu "
                           "de commandes\n"
                           "du lecteur (memcard, storage, iso), trouvé sans présenter de code ni "
                           "écrire.\n"}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int ReadersCommand::run(const GlobalOptions&, const base::ParsedLine&, CommandIo& io) {
    std::vector<reader::ReaderSurvey> readers;
    std::string error;
    if (!reader::SurveyPcscReaders(readers, error)) {
        io.err << "ostrel-card readers : " << error << "\n";
        return 1;
    }
    if (readers.empty())
        io.out << "aucun lecteur PC/SC\n";
    for (const auto& reader : readers) {
        io.out << base::Escaped(reader.name) << " : ";
        if (!reader.cardInside)
            io.out << "pas de carte\n";
        else if (!reader.dialect.empty())
            io.out << "carte, ATR " << reader.atr << ", jeu de commandes " << reader.dialect
                   << "\n";
        else
            io.out << "carte, ATR " << reader.atr << ", jeu de commandes inconnu : " << reader.why
                   << "\n";
    }
    return 0;
}

std::unique_ptr<Command> NewReadersCommand() {
    return std::make_unique<ReadersCommand>();
}

} // namespace ostrel::cli
