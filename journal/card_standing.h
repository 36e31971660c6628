#pragma once

#include "card/card_memory.h"
#include "journal.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a site's journal knows of one card besides its rows: what was last written on it, whether
// it is in opposition, whether it was replaced. Read from the card's history alone, so that a
// file and a server answer alike.
namespace ostrel::journal {

// An opposition in force: the row that made it.
struct Opposition {
    std::int64_t serial = 0;
    std::string time; // UTC
    std::string station;
    std::string login;
    std::string reason;
};

struct CardStanding {
    bool known = false; // some row names the serial
    // The last row that set what the card holds, written and verified: a format, a credit or
    // token write, a replacement. A rewrite puts the card's own bytes back and sets nothing.
    std::optional<Entry> lastWritten;
    std::optional<Opposition> opposition;
    std::optional<std::int64_t> replacedBy; // the card that took over its credits
    // The checks recorded since lastWritten (or since the first row when there is none).
    std::vector<Entry> checksSince;
};

// history: every row naming serial, oldest first (Journal::History).
CardStanding StandingOf(std::int64_t serial, const std::vector<Entry>& history);

// A card found changed since its last write, or never seen: the row kCheck to record (its
// outcome), and the line to show.
struct CheckFinding {
    std::string outcome; // kModifiedOutside, kUnknownToJournal; empty: nothing found
    std::string text;
};

// Compares the formatted card image with its standing. Only the kind (byte 64) and the credits
// (byte 65) are compared, the credits only upward: field machines spend credits and stamp
// other bytes by design. journalHasRows false (a new site): nothing is said.
CheckFinding CompareWithJournal(const card::CardMemory& image, const CardStanding& standing,
                                bool journalHasRows);

// Whether finding was already recorded since the card's last write, with the same image: a
// card put back, shown again or written between its oppositions is one finding, not one per
// insertion.
bool AlreadyRecorded(const CheckFinding& finding, const CardStanding& standing,
                     const card::CardMemory& image);

// "Carte en opposition depuis DATE : RAISON", the local day written dd/mm/yyyy.
std::string OppositionText(const Opposition& opposition);

// The local day of a stored UTC time, dd/mm/yyyy; the text as it is when it is no such time.
std::string DayText(const std::string& utc);

// A row Journal::Record may add: a check with what it found, an opposition with its reason, or
// a lifting; false with the reason otherwise.
bool RecordedAsAdded(const Entry& entry, std::string& error);

} // namespace ostrel::journal
