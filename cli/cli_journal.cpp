#include "cli_journal.h"

#include "reader/reader_choice.h"
#include "reader/reader_factory.h"
#include "workflows/wait_setting.h"

#include <ostream>

namespace ostrel::cli {

namespace {

std::chrono::milliseconds WaitLimit(const GlobalOptions& options, std::string& error) {
    std::chrono::milliseconds limit{};
    workflows::ReadWaitLimit(options.configFile, limit, error);
    return limit;
}

} // namespace

CliJournal::CliJournal(const GlobalOptions& options)
    : waiting_(WaitLimit(options, settingError_)), journal_(options.journalFile),
      reader_(options.reader.empty() ? reader::ReaderChoiceText(reader::DefaultReaderChoice())
                                     : options.reader) {
    journal_.SetWaiting(&waiting_);
}

bool CliJournal::ready(CommandIo& io, const std::string& command) const {
    if (settingError_.empty())
        return true;
    io.err << "ostrel-card " << command << " : " << settingError_ << "\n";
    return false;
}

} // namespace ostrel::cli
