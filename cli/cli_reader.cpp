#include "cli_reader.h"

#include "base/text_excerpt.h"
#include "reader/reader_choice.h"
#include "workflows/reader_dialect_setting.h"
#include "workflows/reader_setting.h"
#include "workflows/run_files.h"

#include <ostream>

namespace ostrel::cli {

bool CliReader::open(const GlobalOptions& options, CommandIo& io) {
    io_ = &io;
    reader::ReaderChoice choice = reader::DefaultReaderChoice();
    std::string error;
    if ((!options.reader.empty() && !reader::ParseReaderChoice(options.reader, choice, error)) ||
        (options.reader.empty() &&
         !workflows::ChooseConfiguredReader(options.configFile, choice, error)) ||
        !workflows::ChooseDialect(options.dialect, options.configFile, choice, error)) {
        io.err << "ostrel-card : " << error << "\n";
        return false;
    }
    const reader::TraceRequest trace{options.trace.has_value(), options.trace.value_or(""),
                                     options.traceCodes, options.traceOverwrite};
    if (!reader::CreateReader(choice, chosen_, error) ||
        !reader::StartTrace(trace, false, io.err,
                            workflows::FilesOfTheRun(options.configFile, options.journalFile,
                                                     choice, chosen_.deckFolder),
                            chosen_, error)) {
        io.err << "ostrel-card : " << error << "\n";
        return false;
    }
    state_ = std::make_unique<reader::SharedState>(*chosen_.library);
    state_->ReaderHandle = chosen_.library->Open(reader::kReaderTypeAny, reader::kReaderPortAny);
    if (state_->ReaderHandle < 0) {
        state_->ReaderState = reader::kReaderAbsent;
        io.err << "ostrel-card : aucun lecteur de cartes ne répond (erreur " << state_->ReaderHandle
               << ")";
        // A name from the configuration is not on the line: say which reader was looked for.
        if (choice.kind == reader::ReaderChoice::Kind::Pcsc && !choice.argument.empty())
            io.err << ", lecteur demandé : « " << base::Escaped(choice.argument) << " »";
        io.err << "\n";
        return false;
    }
    state_->ReaderState = reader::kReaderEmpty;
    return true;
}

bool CliReader::requireCard(CommandIo& io) {
    reader::InfoRecord info;
    const std::int32_t r = chosen_.library->GetInfo(state_->ReaderHandle, info);
    if (r < 0) {
        io.err << "ostrel-card : le lecteur ne répond plus (erreur " << r << ")\n";
        return false;
    }
    if (!info.cardPresent()) {
        io.err << "ostrel-card : pas de carte dans le lecteur\n";
        return false;
    }
    state_->ReaderState = reader::kReaderCardInside;
    return true;
}

CliReader::~CliReader() {
    if (io_ && chosen_.simulator && !chosen_.simulator->lastSaveError().empty())
        io_->err << "ostrel-card : " << chosen_.simulator->lastSaveError() << "\n";
    // Why the reader could not speak to the card, which the verdict texts do not say.
    if (io_ && chosen_.status && !chosen_.status->readerStatus().problem.empty())
        io_->err << "ostrel-card : " << base::Escaped(chosen_.status->readerStatus().problem)
                 << "\n";
    if (state_ && state_->ReaderHandle >= 0)
        chosen_.library->Close(state_->ReaderHandle);
    if (io_ && chosen_.trace && !chosen_.trace->failure().empty()) {
        io_->err << "ostrel-card : " << chosen_.trace->failure() << "\n";
        io_->traceLost = true;
    }
}

} // namespace ostrel::cli
