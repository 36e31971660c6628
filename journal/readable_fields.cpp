#include "readable_fields.h"

#include "card/card_layout.h"
#include "journal_text.h"
#include "local_time.h"

#include <algorithm>

namespace ostrel::journal {

namespace {

constexpr const char* kTimeColumn = "heure (UTC)";
constexpr std::int64_t kNoSerial = 0xFFFFFFFF; // the serial bytes of a blank card

std::size_t Column(const char* name) {
    const auto& names = ColumnNames();
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

bool HeldNoSerial(const Entry& e) {
    if (e.serialOld == kNoSerial)
        return true;
    return e.before.size() > card::layout::kFormatMarker &&
           static_cast<std::uint8_t>(e.before[card::layout::kFormatMarker]) !=
               card::layout::kFormatMarkerValue;
}

std::string KindText(const std::string& stored) {
    if (stored == "0")
        return "jeton";
    if (stored == "1")
        return "crédit";
    return stored;
}

} // namespace

std::vector<std::string> ReadableColumnNames() {
    std::vector<std::string> names = ColumnNames();
    names[Column(kTimeColumn)] = "heure";
    return names;
}

std::vector<std::string> ReadableFields(const Entry& entry) {
    std::vector<std::string> fields = EntryFields(entry);
    fields[Column(kTimeColumn)] = LocalTimeText(entry.time);
    if (HeldNoSerial(entry))
        fields[Column("série ancienne")].clear();
    std::string& kind = fields[Column("type")];
    kind = KindText(kind);
    return fields;
}

std::optional<std::int64_t> CardSerial(const Entry& entry) {
    if (entry.serialNew)
        return entry.serialNew;
    if (entry.serialOld && !HeldNoSerial(entry))
        return entry.serialOld;
    return std::nullopt;
}

} // namespace ostrel::journal
