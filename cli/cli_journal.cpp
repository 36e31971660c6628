#include "cli_journal.h"

#include "reader/reader_choice.h"
#include "reader/reader_factory.h"

namespace ostrel::cli {

CliJournal::CliJournal(const GlobalOptions& options)
    : journal_(options.journalFile),
      reader_(options.reader.empty() ? reader::ReaderChoiceText(reader::DefaultReaderChoice())
                                     : options.reader) {}

} // namespace ostrel::cli
