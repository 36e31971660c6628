#pragma once

#include "shared_state.h"

namespace ostrel::reader {

inline constexpr int kIdentifyNoAnswer = -1;
inline constexpr int kIdentifyNotOurs = -2;
inline constexpr int kIdentifyBadChecksum = -3;

inline constexpr const char* kTextUnknownCard = "Carte inconnue. Erreur de lecture.";
inline constexpr const char* kTextBadFirstBlock = "Erreur CRC Bloc 1, type de carte illisible!";

// Tests the markers of CardImage and leaves the verdict in InfoMessage.
bool CheckCardFormat(SharedState& state);

// Reads the card into CardImage and gives its type byte, or kIdentify*. On success the session
// stays open for the caller to end. readResult, when given, receives the memory read's result
// (0, or the failing exchange's negative result; left alone when the card did not answer).
int IdentifyCard(SharedState& state, std::int32_t* readResult = nullptr);

} // namespace ostrel::reader
