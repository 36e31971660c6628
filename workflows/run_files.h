#pragma once

#include "base/trace_file.h"
#include "reader/reader_choice.h"

#include <string>
#include <vector>

namespace ostrel::workflows {

// The files a run of either program reads or writes, which its trace must never be: the
// configuration (configFile, empty: the per-user one) and its lock, the journal (journalFile,
// empty: the per-user one) and the files SQLite keeps beside it, and the card files of the
// simulated reader (the card given, or the cards of its deck folder).
std::vector<base::FileInUse> FilesOfTheRun(const std::string& configFile,
                                           const std::string& journalFile,
                                           const reader::ReaderChoice& choice,
                                           const std::string& deckFolder);

} // namespace ostrel::workflows
