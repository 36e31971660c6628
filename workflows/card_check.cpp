#include "card_check.h"

#include "card/card_layout.h"
#include "card/codecs.h"

namespace ostrel::workflows {

std::string CardCheck::Text() const {
    std::string text = opposed() ? journal::OppositionText(*standing.opposition) : std::string();
    if (!finding.text.empty())
        text += (text.empty() ? "" : " — ") + finding.text;
    return text;
}

std::int64_t CardSerial(const card::CardMemory& image) {
    return card::ReadCardLong(image, card::layout::kSerialOffset);
}

bool ReadStanding(journal::Journal& journal, std::int64_t serial, journal::CardStanding& standing,
                  std::string& error) {
    std::vector<journal::Entry> history;
    if (!journal.History(serial, history, error))
        return false;
    standing = journal::StandingOf(serial, history);
    return true;
}

CardCheck CheckCard(const journal::Writer& writer, const card::CardMemory& image) {
    CardCheck check;
    if (!writer.journal)
        return check;
    journal::Journal& journal = *writer.journal;
    const std::int64_t serial = CardSerial(image);
    if (!ReadStanding(journal, serial, check.standing, check.error))
        return check;
    // A new site's journal knows no card: nothing is said of any.
    std::int64_t rows = 1;
    if (!check.standing.known && !journal.CountUpTo({}, 0, rows, check.error))
        return check;
    check.read = true;
    check.finding = journal::CompareWithJournal(image, check.standing, rows > 0);
    if (check.finding.outcome.empty() ||
        journal::AlreadyRecorded(check.finding, check.standing, image))
        return check;
    journal::Entry row;
    row.station = writer.station;
    row.program = writer.program;
    row.reader = writer.reader;
    row.operation = journal::kCheck;
    row.serialOld = serial;
    row.kind = image[card::layout::kDisposableKind];
    row.credits = image[card::layout::kDisposableValue];
    row.outcome = check.finding.outcome;
    row.before.assign(image.begin(), image.end());
    std::int64_t id = 0;
    journal.Record(row, id, check.recordError);
    return check;
}

} // namespace ostrel::workflows
