#pragma once

#include "command.h"

#include <memory>
#include <vector>

namespace ostrel::cli {

// Every command of ostrel-card, in the order the help lists them.
std::vector<std::unique_ptr<Command>> AllCommands();

// Runs ostrel-card with argv[1..]: the global options, then a command and its arguments.
int RunOstrelCard(const std::vector<std::string>& args, CommandIo& io);

} // namespace ostrel::cli
