#pragma once

#include "command.h"

#include <memory>

namespace ostrel::cli {

// The commands of ostrel-card, one file each (des has its own header, for its tests).
std::unique_ptr<Command> NewCardCommand();
std::unique_ptr<Command> NewIdentifyCommand();
std::unique_ptr<Command> NewDumpCommand();
std::unique_ptr<Command> NewFormatCommand();
std::unique_ptr<Command> NewCreditCommand();
std::unique_ptr<Command> NewTokenCommand();
std::unique_ptr<Command> NewShowCommand();
std::unique_ptr<Command> NewReplaceCommand();
std::unique_ptr<Command> NewJournalCommand();
std::unique_ptr<Command> NewVpcdCardCommand();
std::unique_ptr<Command> NewReadersCommand();
std::unique_ptr<Command> NewSiteCommand();

} // namespace ostrel::cli
