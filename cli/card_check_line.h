#pragma once

#include "command.h"

#include "card/card_memory.h"

#include <string>

namespace ostrel::cli {

// Checks a formatted card against the journal (in opposition, changed outside a station,
// unknown) and prints what it found as a line of its own; nothing when all is as written. A
// journal out of reach is said on io.err and changes nothing else.
void PrintCardCheck(const GlobalOptions& options, const std::string& command,
                    const card::CardMemory& image, CommandIo& io);

} // namespace ostrel::cli
