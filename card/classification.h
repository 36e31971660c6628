#pragma once

#include "card_memory.h"

#include <string>

namespace ostrel::card {

enum class CardClass { NotFormatted, ForeignApplication, Valid };

CardClass ClassifyCard(const CardMemory& image);

// The verdict texts, trailing blanks included.
inline constexpr const char* kTextNotFormatted = "cette carte n'est pas formatée ";
inline constexpr const char* kTextForeignApplication = "cette carte n'est pas une application QEL ";
inline constexpr const char* kTextValid = "carte valide";

std::string ClassificationText(CardClass cardClass);

} // namespace ostrel::card
