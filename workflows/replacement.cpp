#include "replacement.h"

#include "card/card_layout.h"
#include "card_check.h"

namespace ostrel::workflows {

namespace {

constexpr const char* kReplacedPrefix = "remplacée par ";

} // namespace

std::string ReplacedReason(std::int64_t newSerial) {
    return kReplacedPrefix + std::to_string(newSerial);
}

bool PrepareReplacement(journal::Journal& journal, std::int64_t oldSerial, bool force,
                        Replacement& replacement, std::string& refusal, bool* confirmable) {
    using namespace card::layout;
    if (confirmable)
        *confirmable = false;
    journal::CardStanding standing;
    if (!ReadStanding(journal, oldSerial, standing, refusal))
        return false;
    const std::string card = "carte " + std::to_string(oldSerial);
    if (standing.replacedBy) {
        refusal = card + " déjà remplacée par " + std::to_string(*standing.replacedBy);
        return false;
    }
    const journal::Entry* last = standing.lastWritten ? &*standing.lastWritten : nullptr;
    if (!last || last->after.size() != card::kCardSize) {
        refusal = card + " : aucune écriture vérifiée au journal, rien à reporter";
        return false;
    }
    const int kind = static_cast<unsigned char>(last->after[kDisposableKind]);
    const int credits = static_cast<unsigned char>(last->after[kDisposableValue]);
    if ((kind != kKindToken && kind != kKindCredit) || credits == 0) {
        refusal = card + " : sa dernière écriture ne porte aucun crédit, rien à reporter";
        return false;
    }
    if (standing.opposition && !force &&
        standing.opposition->reason.rfind(kReplacedPrefix, 0) != 0) {
        refusal = journal::OppositionText(*standing.opposition) +
                  " ; remplacement seulement sur confirmation";
        if (confirmable)
            *confirmable = true;
        return false;
    }
    replacement = {oldSerial, kind, credits};
    return true;
}

std::string ReplacementPrompt(const Replacement& replacement) {
    return "Introduire une carte vierge pour remplacer la carte " +
           std::to_string(replacement.oldSerial);
}

std::string ReplacementDoneText(const Replacement& replacement, std::int64_t newSerial) {
    return "Carte " + std::to_string(replacement.oldSerial) + " remplacée par " +
           std::to_string(newSerial) + " (" + std::to_string(replacement.credits) +
           " crédits), retirez la carte";
}

} // namespace ostrel::workflows
