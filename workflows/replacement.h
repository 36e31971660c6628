#pragma once

#include "journal/journal.h"

#include <cstdint>
#include <string>

// A lost card's value given to a new card: a blank card is formatted with a new serial through
// the ordinary reservation, then given the kind and credits of the lost card's last write; the
// lost card goes into opposition, "remplacée par" the new one.
namespace ostrel::workflows {

struct Replacement {
    std::int64_t oldSerial = 0;
    int kind = 0;
    int credits = 0;
};

// Whether the card oldSerial may be replaced: its last write, verified, left credits on a token
// or credit card; it was not replaced yet; and it is not in opposition for another reason,
// unless force (the operator confirmed). False with the refusal otherwise; confirmable, when
// given, tells whether a confirmation (force) would lift it.
bool PrepareReplacement(journal::Journal& journal, std::int64_t oldSerial, bool force,
                        Replacement& replacement, std::string& refusal,
                        bool* confirmable = nullptr);

// The lost card's opposition once it is replaced.
std::string ReplacedReason(std::int64_t newSerial);

// What the window says while it waits for the blank card, and once it is written.
std::string ReplacementPrompt(const Replacement& replacement);
std::string ReplacementDoneText(const Replacement& replacement, std::int64_t newSerial);

} // namespace ostrel::workflows
