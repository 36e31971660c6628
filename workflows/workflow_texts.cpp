#include "workflow_texts.h"

#include "reader/card_session.h"

namespace ostrel::workflows::texts {

std::string JournalRefusal(const journal::Journal& journal) {
    return journal.busy() ? kJournalBusy : kJournalUnusable;
}

std::string ReadFailureText(std::int32_t result) {
    return "Erreur de lecture de la carte (erreur " + std::to_string(result) +
           "), retirez la carte";
}

std::string WriteFailureText(std::int32_t result) {
    if (result == reader::kErrVerifyMismatch) {
        return "Echec de l'écriture : la carte n'a pas gardé les données, retirez la carte";
    }
    return "Echec de l'écriture (erreur " + std::to_string(result) + "), retirez la carte";
}

std::string SerialRefusedText(const std::string& problem) {
    return "Configuration refusée : " + problem + ", aucun formatage";
}

std::string SerialNotSavedText() {
    return "Numéro suivant non enregistré : carte non formatée";
}

} // namespace ostrel::workflows::texts
