#pragma once

#include "card/card_layout.h"
#include "card/card_memory.h"
#include "code_presentation.h"
#include "journal/journal.h"
#include "reader/reader_library.h"

#include <initializer_list>
#include <optional>
#include <string>

namespace ostrel::workflows {

// One card operation in the journal: added, marked interrupted, before the card is touched,
// and finished once the card answered. An operation that could not be added must not touch
// the card: no card is written that the journal does not know of. Without a journal (tests of
// the card logic alone) every step succeeds and records nothing.
class JournalledOperation {
public:
    JournalledOperation(const journal::Writer& writer, const char* operation,
                        const card::CardMemory& before);

    journal::Entry& entry() { return entry_; }

    // False with a French reason when the journal did not take it.
    bool Begin(std::string& error);

    // Takes over the entry id, added earlier by an operation that never finished: Finish ends it.
    void Resume(std::int64_t id) { entry_.id = id_ = id; }

    // The end: verified, with the bytes the card now holds, or not. When the journal does not
    // take it, the whole row is kept in the station's spool (kept() then tells why) and the
    // call succeeds; false with a French reason only when neither took it.
    bool Finish(const char* outcome, std::optional<int> attemptsLeft,
                const std::optional<card::CardMemory>& after, std::string& error);

    // A refused or withheld code, or a reader error during the presentation, each by its name:
    // a card with no attempt left is locked (0 attempts), one whose last attempt was kept is
    // not presented, and only a code presented and refused is a refused code.
    bool FinishRefused(const Presentation& presented, std::string& error);

    // Why the end waits in the spool rather than in the journal; empty when it is recorded.
    const std::string& kept() const { return kept_; }

private:
    const journal::Writer& writer_;
    journal::Entry entry_;
    std::int64_t id_ = 0;
    std::string kept_;
};

// What the operator is told of a card written whose end waits in the spool.
std::string ResultPendingText(const std::string& why);

// before with the ranges of written laid over it: what a card holds once they are verified.
card::CardMemory AfterWrite(const card::CardMemory& before, const card::CardMemory& written,
                            std::initializer_list<card::layout::Range> ranges);

// Opens the journal before any card traffic; false with a French reason. warning receives what
// the operator must know about a journal opened anew (its file vanished or was replaced).
bool OpenJournal(const journal::Writer& writer, std::string& error, std::string& warning);

} // namespace ostrel::workflows
