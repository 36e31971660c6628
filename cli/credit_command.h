#pragma once

#include "command.h"
#include "workflows/disposable_workflow.h"

#include <functional>

namespace ostrel::cli {

// Writes a credit card, as the card-programming window does when the card is inserted and its
// button "Ecriture valeur crédit" is pressed.
class CreditCommand : public Command {
public:
    std::string name() const override { return "credit"; }
    std::string description() const override { return "écrit une carte CREDIT de N crédits"; }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                CommandIo& io) override;
};

// The insertion of the card into the card-programming window, then press(workflow) unless the
// insertion failed; prints the text the window ends with. The exit status of credit and token.
int RunDisposableWrite(const GlobalOptions& options, bool spendLastAttempt,
                       const std::string& commandName, CommandIo& io,
                       const std::function<void(workflows::DisposableWorkflow&)>& press);

} // namespace ostrel::cli
