#include "journal_entries.h"

#include "journal/journal_text.h"
#include "journal/operation_key.h"

#include <algorithm>

namespace ostrel::workflows {

namespace {

std::string Bytes(const card::CardMemory& memory) {
    return {memory.begin(), memory.end()};
}

} // namespace

JournalledOperation::JournalledOperation(const journal::Writer& writer, const char* operation,
                                         const card::CardMemory& before)
    : writer_(writer) {
    entry_.program = writer.program;
    entry_.reader = writer.reader;
    entry_.station = writer.station;
    entry_.operation = operation;
    entry_.supplier = before[card::layout::kSupplierByte];
    entry_.before = Bytes(before);
    // The operation's own key from the start: sent again, it finds the row made the first time.
    entry_.key = journal::NewRandomKey();
}

bool JournalledOperation::Begin(std::string& error) {
    if (!writer_.journal)
        return true;
    entry_.outcome = journal::kInterrupted;
    entry_.time = journal::UtcNow();
    if (!writer_.journal->Add(entry_, id_, error))
        return false;
    entry_.id = id_;
    return true;
}

bool JournalledOperation::Finish(const char* outcome, std::optional<int> attemptsLeft,
                                 const std::optional<card::CardMemory>& after, std::string& error) {
    if (!writer_.journal)
        return true;
    entry_.id = id_;
    entry_.outcome = outcome;
    entry_.attemptsLeft = attemptsLeft;
    entry_.after = after ? Bytes(*after) : "";
    std::string refused;
    if (writer_.journal->Finish(id_, outcome, attemptsLeft, entry_.after, refused))
        return true;
    // The card was touched: what it became is never lost, whatever the journal answered.
    std::string spooled;
    if (writer_.journal->Keep(entry_, spooled)) {
        kept_ = refused;
        return true;
    }
    error = refused + " ; " + spooled;
    return false;
}

std::string ResultPendingText(const std::string& why) {
    return "carte écrite, résultat en attente d'envoi (" + why + ")";
}

bool JournalledOperation::FinishRefused(const Presentation& presented, std::string& error) {
    using Kind = reader::CodeResult::Kind;
    if (presented.result.kind == Kind::Locked)
        return Finish(journal::kLocked, 0, std::nullopt, error);
    if (presented.result.kind == Kind::AttemptsLeft) {
        return Finish(presented.withheld ? journal::kNotPresented : journal::kRefused,
                      presented.result.value, std::nullopt, error);
    }
    return Finish(journal::kWriteFailed, std::nullopt, std::nullopt, error); // a reader error
}

card::CardMemory AfterWrite(const card::CardMemory& before, const card::CardMemory& written,
                            std::initializer_list<card::layout::Range> ranges) {
    card::CardMemory after = before;
    for (const card::layout::Range& range : ranges) {
        std::copy_n(written.begin() + range.start, range.length, after.begin() + range.start);
    }
    return after;
}

bool OpenJournal(const journal::Writer& writer, std::string& error, std::string& warning) {
    if (!writer.journal)
        return true;
    const bool opened = writer.journal->Open(error);
    warning = writer.journal->TakeWarning();
    return opened;
}

} // namespace ostrel::workflows
