#pragma once

#include "command.h"

namespace ostrel::cli {

// "card new FILE": writes a blank virtual card file.
class CardCommand : public Command {
public:
    std::string name() const override { return "card"; }
    std::string description() const override {
        return "crée une carte virtuelle vierge (card new FICHIER)";
    }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
