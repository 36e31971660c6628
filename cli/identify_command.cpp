#include "identify_command.h"

#include "arguments.h"
#include "cli_reader.h"
#include "reader/card_session.h"
#include "reader/identification.h"

#include <ostream>

namespace ostrel::cli {

int IdentifyCommand::execute(const GlobalOptions& options, const std::vector<std::string>& args,
                             CommandIo& io) {
    Arguments parsed;
    std::string error;
    if (!ParseArguments(args, {}, {}, parsed, error) || !parsed.positional.empty()) {
        io.err << "ostrel-card identify : " << (error.empty() ? "argument en trop" : error) << "\n";
        return 2;
    }
    if (parsed.has("--help")) {
        io.out << "usage : ostrel-card [--reader LECTEUR] identify\n"
                  "Lit la carte du lecteur, affiche le verdict et, pour une carte valide, « type: "
                  "N ».\n"
                  "Code de sortie 0 pour une carte valide, 1 sinon.\n";
        return 0;
    }
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    auto& state = cli.state();
    const int type = reader::IdentifyCard(state);
    reader::EndCardSession(state);
    io.out << state.InfoMessage << "\n";
    if (type >= 0) {
        io.out << "type: " << type << "\n";
        return 0;
    }
    return 1;
}

} // namespace ostrel::cli
