#pragma once

#include "command.h"

namespace ostrel::cli {

// Formats the card in the reader as the formatting window does when it is inserted: a blank
// card receives the next serial of the configuration, which then advances.
class FormatCommand : public Command {
public:
    std::string name() const override { return "format"; }
    std::string description() const override { return "formate la carte du lecteur"; }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
