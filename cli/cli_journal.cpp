#include "cli_journal.h"

#include "reader/reader_choice.h"
#include "reader/reader_factory.h"
#include "workflows/wait_setting.h"

#include <ostream>

namespace ostrel::cli {

bool CliJournal::open(const GlobalOptions& options, const std::string& command, CommandIo& io) {
    std::chrono::milliseconds limit{};
    workflows::JournalSetting setting;
    std::string error;
    if (!workflows::ReadWaitLimit(options.configFile, limit, error) ||
        !workflows::ChooseJournal(options.journalFile, options.configFile, setting, error)) {
        io.err << "ostrel-card " << command << " : " << error << "\n";
        return false;
    }
    waiting_ = std::make_unique<base::Waiting>(limit);
    place_.emplace(setting, options.configFile);
    place_->SetWaiting(waiting_.get());
    station_ = setting.station;
    reader_ = options.reader.empty() ? reader::ReaderChoiceText(reader::DefaultReaderChoice())
                                     : options.reader;
    return true;
}

} // namespace ostrel::cli
