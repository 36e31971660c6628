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

std::string SerialAlreadyIssuedText(std::int64_t serial, const std::string& time) {
    // "2026-12-07T09:14:03Z" reads "le 2026-12-07 à 09:14 UTC".
    const std::string when =
        time.size() >= 16 ? time.substr(0, 10) + " à " + time.substr(11, 5) + " UTC" : time;
    return "Numéro de série " + std::to_string(serial) + " déjà attribué le " + when +
           " : corrigez NextSerial, aucun formatage";
}

} // namespace ostrel::workflows::texts
