#include "cli_journal.h"

#include "reader/reader_choice.h"
#include "reader/reader_factory.h"

#include <ostream>

namespace ostrel::cli {

bool CliJournal::open(const GlobalOptions& options, const std::string& command, CommandIo& io) {
    workflows::JournalSetting setting;
    std::string error;
    if (!workflows::ChooseJournal(options.journalFile, options.configFile, setting, error)) {
        io.err << "ostrel-card " << command << " : " << error << "\n";
        return false;
    }
    place_.emplace(setting, options.configFile);
    station_ = setting.station;
    reader_ = options.reader.empty() ? reader::ReaderChoiceText(reader::DefaultReaderChoice())
                                     : options.reader;
    return true;
}

} // namespace ostrel::cli
