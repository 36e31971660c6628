#pragma once

#include "cli_reader.h"
#include "command.h"
#include "workflows/format_workflow.h"

#include <string>

namespace ostrel::cli {

// Runs the format workflow on the card in the reader as the window does at an insertion, then
// prints its message and what the operator must know besides (a warning, why nothing was
// done). False when no card was handled: a serial refused before the card, or no card.
bool RunFormatInsertion(workflows::FormatWorkflow& workflow, CliReader& cli,
                        const std::string& command, CommandIo& io);

// Prints the problem and the notice the workflow left, as "ostrel-card COMMAND : …".
void PrintFormatAfterword(const workflows::FormatWorkflow& workflow, const std::string& command,
                          CommandIo& io);

} // namespace ostrel::cli
