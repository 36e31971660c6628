#include "command_registry.h"

#include "commands.h"
#include "des_command.h"

#include "base/secret.h"

#include <ostream>

namespace ostrel::cli {

std::vector<std::unique_ptr<Command>> AllCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(NewCardCommand());
    commands.push_back(NewIdentifyCommand());
    commands.push_back(NewDumpCommand());
    commands.push_back(NewFormatCommand());
    commands.push_back(NewCreditCommand());
    commands.push_back(NewTokenCommand());
    commands.push_back(NewShowCommand());
    commands.push_back(NewReplaceCommand());
    commands.push_back(NewJournalCommand());
    commands.push_back(std::make_unique<DesCommand>());
    commands.push_back(NewVpcdCardCommand());
    commands.push_back(NewReadersCommand());
    commands.push_back(NewSiteCommand());
    return commands;
}

namespace {

// The refusals of the options before the command name, as ostrel-card has always said them.
constexpr base::Wording kGlobalWording{.missingValue = "l'option {} attend une valeur"};

void PrintUsage(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands) {
    const std::vector<base::OptionDefinition> options = base::GlobalOptionDefinitions();
    out << "usage : ostrel-card " << base::OptionsSynopsis(options) << " COMMANDE [ARGUMENTS]\n"
        << base::OptionsHelp(options) << "commandes :\n";
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
    base::ParsedLine line;
    std::string error;
    switch (base::ParseCommandLine(args, base::GlobalOptionDefinitions(), line, error,
                                   kGlobalWording, base::OptionsEnd::FirstPositional)) {
    case base::ParseOutcome::Help:
        PrintUsage(io.out, commands);
        return 0;
    case base::ParseOutcome::Refused:
        io.err << "ostrel-card : " << error << "\n";
        return 2;
    case base::ParseOutcome::Run:
        break;
    }
    const base::GlobalOptions global = base::ReadGlobalOptions(line);
    if (global.version) {
        io.out << "ostrel-card " OSTREL_VERSION "\n";
        return 0;
    }
    if (line.positional.empty()) {
        PrintUsage(io.err, commands);
        return 2;
    }
    if (const std::string conflict = base::GlobalOptionsConflict(global); !conflict.empty()) {
        io.err << "ostrel-card : " << conflict << "\n";
        return 2;
    }
    const std::string& name = line.positional.front();
    for (const auto& command : commands) {
        if (command->name() == name) {
            std::vector<std::string> commandArgs(line.positional.begin() + 1,
                                                 line.positional.end());
            const int status = command->execute(global, commandArgs, io);
            base::ClearSecret(commandArgs);
            return status == 0 && io.traceLost ? 1 : status;
        }
    }
    io.err << "ostrel-card : commande inconnue « " << name << " » (ostrel-card --help)\n";
    return 2;
}

} // namespace ostrel::cli
