#pragma once

#include "reader/reader_status.h"

#include <string>
#include <vector>

namespace ostrel::reader::pcsc {

// Lists the PC/SC readers: for each, whether a card is inside, its ATR and the dialect found by
// the read-only probes. False with a French message when PC/SC does not answer.
bool SurveyReaders(std::vector<ReaderSurvey>& readers, std::string& error);

} // namespace ostrel::reader::pcsc
