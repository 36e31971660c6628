#pragma once

#include "command.h"

namespace ostrel::cli {

// Shows the card in the reader as the card-programming window does when it is inserted, then
// the kind and credits the card holds.
class ShowCommand : public Command {
public:
    std::string name() const override { return "show"; }
    std::string description() const override { return "montre le type et les crédits de la carte"; }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
