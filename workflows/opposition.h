#pragma once

#include "journal/card_standing.h"
#include "journal/journal.h"

#include <cstdint>
#include <string>
#include <vector>

// Oppositions: a card reported lost or stolen is refused every write, on every station of the
// site, until the opposition is lifted (on a server, by an administrator).
namespace ostrel::workflows {

// Puts serial in opposition for reason; refused when it already is, or without a reason.
bool Oppose(const journal::Writer& writer, std::int64_t serial, const std::string& reason,
            std::string& error);

// Lifts the opposition of serial; refused when there is none.
bool LiftOpposition(const journal::Writer& writer, std::int64_t serial, std::string& error);

// The oppositions in force, newest first.
bool ListOppositions(journal::Journal& journal, std::vector<journal::Opposition>& oppositions,
                     std::string& error);

} // namespace ostrel::workflows
