#include "command_registry.h"

#include "card_command.h"
#include "credit_command.h"
#include "des_command.h"
#include "dump_command.h"
#include "format_command.h"
#include "identify_command.h"
#include "show_command.h"
#include "token_command.h"
#include "vpcd_card_command.h"

#include <ostream>

namespace ostrel::cli {

std::vector<std::unique_ptr<Command>> AllCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<CardCommand>());
    commands.push_back(std::make_unique<IdentifyCommand>());
    commands.push_back(std::make_unique<DumpCommand>());
    commands.push_back(std::make_unique<FormatCommand>());
    commands.push_back(std::make_unique<CreditCommand>());
    commands.push_back(std::make_unique<TokenCommand>());
    commands.push_back(std::make_unique<ShowCommand>());
    commands.push_back(std::make_unique<DesCommand>());
    commands.push_back(std::make_unique<VpcdCardCommand>());
    return commands;
}

namespace {

void PrintUsage(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands) {
    out << "usage : ostrel-card [--reader LECTEUR] [--config FICHIER] COMMANDE [ARGUMENTS]\n"
           "  --reader LECTEUR  sim, sim:DOSSIER, sim:FICHIER, pcsc ou pcsc:NOM\n"
           "  --config FICHIER  fichier de configuration (INI)\n"
           "commandes :\n";
    for (const auto& command : commands) {
        out << "  " << command->name()
            << std::string(14 - std::min<std::size_t>(13, command->name().size()), ' ')
            << command->description() << "\n";
    }
    out << "« ostrel-card COMMANDE --help » décrit chaque commande.\n";
}

} // namespace

int RunOstrelCard(const std::vector<std::string>& args, CommandIo& io) {
    const auto commands = AllCommands();
    GlobalOptions options;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(io.out, commands);
            return 0;
        }
        if (arg == "--reader" || arg == "--config") {
            if (i + 1 >= args.size()) {
                io.err << "ostrel-card : l'option " << arg << " attend une valeur\n";
                return 2;
            }
            (arg == "--reader" ? options.reader : options.configFile) = args[++i];
            continue;
        }
        if (arg.rfind("--reader=", 0) == 0) {
            options.reader = arg.substr(9);
            continue;
        }
        if (arg.rfind("--config=", 0) == 0) {
            options.configFile = arg.substr(9);
            continue;
        }
        if (arg.rfind("-", 0) == 0) {
            io.err << "ostrel-card : option inconnue « " << arg << " »\n";
            return 2;
        }
        break;
    }
    if (i >= args.size()) {
        PrintUsage(io.err, commands);
        return 2;
    }
    for (const auto& command : commands) {
        if (command->name() == args[i]) {
            return command->execute(
                options, {args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()}, io);
        }
    }
    io.err << "ostrel-card : commande inconnue « " << args[i] << " » (ostrel-card --help)\n";
    return 2;
}

} // namespace ostrel::cli
