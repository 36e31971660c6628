#pragma once

#include "base/waiting.h"
#include "card/card_date.h"
#include "journal/journal.h"

#include <chrono>
#include <functional>

namespace ostrel::workflows {

// What a workflow takes from its surroundings besides the shared state.
struct WorkflowOptions {
    // The date stamped on the cards; tests fix it.
    std::function<std::chrono::year_month_day()> today = card::Today;
    // Present a code even when the card has a single attempt left. Only the command line sets
    // it, and only when told to: a refusal then locks the card for good.
    bool spendLastAttempt = false;
    // Where every card operation is recorded, and by whom. Both programs always give one.
    journal::Writer journal;
    // What the journal and the configuration are waited for within, and what the window shows
    // while they are.
    base::Waiting* waiting = nullptr;
    // Waits run beside the calling thread, which must then poll the workflow (a window); else
    // on it (the command line).
    bool waitBeside = false;
};

} // namespace ostrel::workflows
