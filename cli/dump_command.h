#pragma once

#include "command.h"

namespace ostrel::cli {

// Prints the card's 16 dump lines and the verdict, as the dump window shows them.
class DumpCommand : public Command {
public:
    std::string name() const override { return "dump"; }
    std::string description() const override { return "affiche la mémoire de la carte du lecteur"; }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
