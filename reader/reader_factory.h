#pragma once

#include "reader_choice.h"
#include "reader_library.h"
#include "reader_status.h"
#include "simulated_reader.h"
#include "tracing_reader.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::reader {

// The reader a program runs on, chosen at start-up.
struct ChosenReader {
    std::unique_ptr<ReaderLibrary> library;
    SimulatedReader* simulator = nullptr; // the same object as library, for the simulated reader
    std::string deckFolder;               // where the simulated reader's cards are
    const ReaderStatusSource* status = nullptr; // the same object as library, for PC/SC
    const TraceSink* trace = nullptr;           // where the trace asked for goes, owned by library
};

// Builds the chosen reader. False with a French message when it cannot be had (a missing or
// malformed card file, a missing folder).
bool CreateReader(const ReaderChoice& choice, ChosenReader& chosen, std::string& error);

// Lists the PC/SC readers, probing the card in each. False with a French message when PC/SC
// does not answer or is not built in.
bool SurveyPcscReaders(std::vector<ReaderSurvey>& readers, std::string& error);

// --trace[=FILE], --trace-codes and --trace-overwrite as given on a command line.
struct TraceRequest {
    bool on = false;
    std::string file; // empty: standard error
    bool showCodes = false;
    bool overwrite = false; // an existing FILE is emptied first instead of appended to
};

// Puts the exchange trace asked for between the program and its reader (chosen.simulator still
// reaches the simulated reader itself); nothing when none was asked for, so that the reader is
// then used directly. False with a French message when the trace file cannot be opened or is
// one of the files the run uses (inUse).
bool StartTrace(const TraceRequest& request, bool quietPolls, std::ostream& standardError,
                const std::vector<base::FileInUse>& inUse, ChosenReader& chosen,
                std::string& error);

// The reader used when none is asked for.
ReaderChoice DefaultReaderChoice();

// The shipped demo deck: the installed one beside the program
// (<bindir>/../share/ostrel-chipcard/demo) when it is there, else the one of the source tree the
// program was built from.
std::filesystem::path ShippedDemoDeck(const std::filesystem::path& executable);

// The user's copy of the demo deck, made from the shipped deck at first use so that the shipped
// files never change. OSTREL_DATA_DIR, when set, replaces the user's data folder.
bool PrepareDemoDeck(std::string& folder, std::string& error);

} // namespace ostrel::reader
