#pragma once

namespace ostrel::app {

// The main window's title: the constant part, then one reader-state suffix.
inline constexpr const char* kWindowTitle = "Ostrel Chipcard Administration V1.1 ";
inline constexpr const char* kSuffixNoReader = "[Non connecté!]";
inline constexpr const char* kSuffixNoCard = "[Connecté, pas de carte à l'intérieur]";
inline constexpr const char* kSuffixCardInside = "[Carte à l'intérieur]";

} // namespace ostrel::app
