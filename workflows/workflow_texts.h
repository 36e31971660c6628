#pragma once

#include "journal/journal.h"

#include <cstdint>
#include <string>

// What the workflow windows say to the operator.
namespace ostrel::workflows::texts {

inline constexpr const char* kFormatPrompt = "Introduire la carte à formater";
inline constexpr const char* kReplacementNeedsBlank =
    "carte déjà formatée : introduisez une carte vierge pour le remplacement";
inline constexpr const char* kFormatDone = "Formatage OK, retirez la carte";
// A card holding a serial its format never finished writing, which the journal does not know of.
inline constexpr const char* kIncompleteFormatDone =
    "formatage incomplet : carte formatée à nouveau, retirez la carte";

inline constexpr const char* kDisposablePromptAtLoad = "Introduire la carte à écrire";
inline constexpr const char* kDisposablePrompt = "Introduire carte à écrire";
inline constexpr const char* kRewriteDone = "ecriture OK, retirez la carte";
inline constexpr const char* kDisposableDone = "Retirez la carte";
inline constexpr const char* kTokenCard = "carte JETON";
inline constexpr const char* kCreditCard = "carte CREDIT";
inline constexpr const char* kUnknownKind = "carte inconnue";
inline constexpr const char* kMaxValue = "255";

inline constexpr const char* kNoCardRead = "Aucune carte lue : introduisez la carte à écrire";
inline constexpr const char* kBadCredits = "Nombre de crédits refusé : entrez un nombre de 0 à 255";
inline constexpr const char* kBadProgramme = "Programme refusé : entrez un nombre de 0 à 255";
inline constexpr const char* kBadDate =
    "Date de l'ordinateur hors de 2000..2255 : aucune carte n'est écrite";
inline constexpr const char* kJournalUnusable = "Journal inutilisable : aucune carte n'est écrite";
inline constexpr const char* kServerSeries = "(série du serveur, NextSerial non utilisé)";
inline constexpr const char* kServerUnusable = "Serveur du journal inutilisable : aucun formatage";
inline constexpr const char* kServerBusy =
    "Serveur du journal occupé par un autre poste : aucune carte n'est écrite";
inline constexpr const char* kJournalBusy =
    "Journal occupé par un autre programme : aucune carte n'est écrite";
inline constexpr const char* kConfigurationBusyRefusal =
    "Configuration occupée par un autre programme : aucune carte n'est écrite";

// Why no card is written when the journal failed: busy, or unusable.
std::string JournalRefusal(const journal::Journal& journal);

// A read at insertion that stopped part-way: nothing is decided from a half-read card.
std::string ReadFailureText(std::int32_t result);

// A write the card did not take, or whose read-back differs: the card may hold part of it.
std::string WriteFailureText(std::int32_t result);

// The configured next serial is refused; nothing is formatted until it is mended.
std::string SerialRefusedText(const std::string& problem);

// The advanced serial could not be saved; the card was not touched.
std::string SerialNotSavedText();

} // namespace ostrel::workflows::texts
