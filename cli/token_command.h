#pragma once

#include "command.h"

namespace ostrel::cli {

// Writes a token card, as the card-programming window does when the card is inserted and its
// button "Ecriture Valeur Jetable" is pressed: programmes 1 to 5 fix the credits.
class TokenCommand : public Command {
public:
    std::string name() const override { return "token"; }
    std::string description() const override { return "écrit une carte JETON d'un programme"; }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

} // namespace ostrel::cli
