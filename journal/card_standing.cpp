#include "card_standing.h"

#include "card/card_layout.h"
#include "local_time.h"

namespace ostrel::journal {

namespace {

bool Is(const std::string& text, const char* value) {
    return text == value;
}

// The serial the row's card holds once it is written.
std::optional<std::int64_t> SerialWritten(const Entry& e) {
    if (Is(e.operation, kFormat) || Is(e.operation, kReplacement))
        return e.serialNew;
    if (Is(e.operation, kCredit) || Is(e.operation, kToken))
        return e.serialOld;
    return std::nullopt;
}

// Kind and credits as a row left them: its image after the write, else what it says it wrote.
std::optional<std::pair<int, int>> KindAndCredits(const Entry& e) {
    using namespace card::layout;
    if (e.after.size() == card::kCardSize)
        return std::pair{static_cast<int>(static_cast<unsigned char>(e.after[kDisposableKind])),
                         static_cast<int>(static_cast<unsigned char>(e.after[kDisposableValue]))};
    if (e.kind && e.credits)
        return std::pair{*e.kind, *e.credits};
    return std::nullopt;
}

} // namespace

CardStanding StandingOf(std::int64_t serial, const std::vector<Entry>& history) {
    CardStanding standing;
    for (const Entry& e : history) {
        standing.known = true;
        if (Is(e.outcome, kVerified) && SerialWritten(e) == serial) {
            standing.lastWritten = e;
            standing.checksSince.clear();
        }
        if (Is(e.operation, kCheck) && e.serialOld == serial)
            standing.checksSince.push_back(e);
        if (Is(e.operation, kReplacement) && Is(e.outcome, kVerified) && e.serialOld == serial)
            standing.replacedBy = e.serialNew;
        if (e.serialOld != serial)
            continue;
        if (Is(e.operation, kOpposition))
            standing.opposition = Opposition{serial, e.time, e.station, e.login, e.reason};
        else if (Is(e.operation, kLift))
            standing.opposition.reset();
    }
    return standing;
}

CheckFinding CompareWithJournal(const card::CardMemory& image, const CardStanding& standing,
                                bool journalHasRows) {
    using namespace card::layout;
    if (!journalHasRows)
        return {};
    if (!standing.known)
        return {kUnknownToJournal, "Carte inconnue du journal"};
    if (!standing.lastWritten)
        return {};
    const auto written = KindAndCredits(*standing.lastWritten);
    if (!written)
        return {};
    const int kind = image[kDisposableKind];
    const int credits = image[kDisposableValue];
    if (kind == written->first && credits <= written->second)
        return {};
    return {kModifiedOutside, "Carte modifiée hors poste : " + std::to_string(credits) +
                                  " crédits, " + std::to_string(written->second) + " écrits le " +
                                  DayText(standing.lastWritten->time) + " par " +
                                  standing.lastWritten->station};
}

bool AlreadyRecorded(const CheckFinding& finding, const CardStanding& standing,
                     const card::CardMemory& image) {
    const std::string bytes(image.begin(), image.end());
    for (const Entry& check : standing.checksSince) {
        if (check.outcome == finding.outcome && check.before == bytes)
            return true;
    }
    return false;
}

std::string DayText(const std::string& utc) {
    const std::string day = LocalDay(utc);
    if (day.size() != 10)
        return utc;
    return day.substr(8, 2) + "/" + day.substr(5, 2) + "/" + day.substr(0, 4);
}

std::string OppositionText(const Opposition& opposition) {
    return "Carte en opposition depuis " + DayText(opposition.time) + " : " + opposition.reason;
}

bool RecordedAsAdded(const Entry& entry, std::string& error) {
    const bool check = Is(entry.operation, kCheck) && (Is(entry.outcome, kModifiedOutside) ||
                                                       Is(entry.outcome, kUnknownToJournal));
    const bool opposition = (Is(entry.operation, kOpposition) || Is(entry.operation, kLift)) &&
                            Is(entry.outcome, kRecorded);
    if (!check && !opposition) {
        error = "opération « " + entry.operation + " » (" + entry.outcome +
                ") : pas une ligne complète à l'ajout";
        return false;
    }
    if (!entry.serialOld) {
        error = "opération « " + entry.operation + " » sans numéro de série";
        return false;
    }
    if (Is(entry.operation, kOpposition) && entry.reason.empty()) {
        error = "opposition sans raison";
        return false;
    }
    return true;
}

} // namespace ostrel::journal
