#pragma once

#include "command.h"
#include "workflows/disposable_workflow.h"

#include <functional>

namespace ostrel::cli {

// The insertion of the card into the card-programming window, then press(workflow) unless the
// insertion failed; prints the text the window ends with. The exit status of credit and token.
int RunDisposableWrite(const GlobalOptions& options, bool spendLastAttempt,
                       const std::string& commandName, CommandIo& io,
                       const std::function<void(workflows::DisposableWorkflow&)>& press);

} // namespace ostrel::cli
