#include "dump_command.h"

#include "arguments.h"
#include "card/dump_lines.h"
#include "cli_reader.h"
#include "reader/card_session.h"
#include "reader/identification.h"

#include <ostream>

namespace ostrel::cli {

int DumpCommand::execute(const GlobalOptions& options, const std::vector<std::string>& args,
                         CommandIo& io) {
    Arguments parsed;
    std::string error;
    if (!ParseArguments(args, {}, {}, parsed, error) || !parsed.positional.empty()) {
        io.err << "ostrel-card dump : " << (error.empty() ? "argument en trop" : error) << "\n";
        return 2;
    }
    if (parsed.has("--help")) {
        io.out
            << "usage : ostrel-card [--reader LECTEUR] dump\n"
               "Lit la carte du lecteur et affiche ses 256 octets en 16 lignes, puis le verdict.\n"
               "Code de sortie 0 quand la carte a répondu et a été lue, 1 sinon.\n";
        return 0;
    }
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    auto& state = cli.state();
    // A card that does not answer as an SLE4442 is not read at all; a read that fails part-way
    // leaves FF in the blocks not read, and fails the command too.
    std::int32_t readResult = -1;
    const int type = reader::IdentifyCard(state, &readResult);
    const bool read = type != reader::kIdentifyNoAnswer && readResult == 0;
    reader::EndCardSession(state);
    for (const auto& line : card::DumpLines(state.CardImage))
        io.out << line << "\n";
    io.out << state.InfoMessage << "\n";
    return read ? 0 : 1;
}

} // namespace ostrel::cli
