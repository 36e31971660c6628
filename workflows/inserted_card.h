#pragma once

#include "reader/shared_state.h"

#include <string>

namespace ostrel::workflows {

// What both workflows find when a card is inserted, before they decide anything.
enum class InsertedCard {
    NoAnswer,   // not an SLE4442: nothing more is done or shown
    ReadFailed, // the read stopped part-way: nothing is decided from half a card
    NotOurs,    // read whole, not formatted by this system
    Ours,       // read whole, formatted by this system (its checksum may be wrong)
};

// Identifies and reads the card in the reader into CardImage. On ReadFailed, failureText says
// why. The session stays open for the workflow, which ends it.
InsertedCard ReadInsertedCard(reader::SharedState& state, std::string& failureText);

} // namespace ostrel::workflows
