#pragma once

#include "command.h"

namespace ostrel::cli {

// Identifies the card in the reader: the verdict text, and "type: N" for a valid card.
class IdentifyCommand : public Command {
public:
    std::string name() const override { return "identify"; }
    std::string description() const override { return "identifie la carte du lecteur"; }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
