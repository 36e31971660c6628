#pragma once

#include "card/card_memory.h"
#include "journal/card_standing.h"
#include "journal/journal.h"

#include <cstdint>
#include <string>

// What the site's journal says of a formatted card put in a reader: whether it is in opposition,
// whether it holds more than was written on it. A card is never refused for a finding alone:
// it is shown, recorded and counted. Only a card in opposition is refused every write.
namespace ostrel::workflows {

struct CardCheck {
    bool read = false; // the journal answered
    std::string error; // why it did not; then nothing is said
    journal::CardStanding standing;
    journal::CheckFinding finding;
    std::string recordError; // the finding could not be recorded

    bool opposed() const { return standing.opposition.has_value(); }
    // The opposition's text, then the finding's, joined by " — "; empty when nothing is to be
    // said.
    std::string Text() const;
};

// The serial a formatted card holds.
std::int64_t CardSerial(const card::CardMemory& image);

// Reads the history of serial; false with the reason when the journal did not answer.
bool ReadStanding(journal::Journal& journal, std::int64_t serial, journal::CardStanding& standing,
                  std::string& error);

// Checks the formatted card image against the journal and records a finding once (a row
// kCheck). Calls the journal: beside a window's thread. Without a journal, nothing.
CardCheck CheckCard(const journal::Writer& writer, const card::CardMemory& image);

} // namespace ostrel::workflows
