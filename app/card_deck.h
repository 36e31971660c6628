#pragma once

#include "reader/simulated_reader.h"

#include <string>
#include <vector>

namespace ostrel::app {

// One card file of a deck folder.
struct DeckCard {
    std::string path;
    std::string name;        // the file name without ".card"
    std::string description; // the file's first comment of its own, empty when it has none
};

inline constexpr const char* kCardFileExtension = ".card";

// The deck's card files, by file name. Other files and sub-folders are left out.
std::vector<DeckCard> ListDeck(const std::string& folder);

// What a card holds now, in a few French words: "carte non formatée, fournisseur 04", "carte
// formatée, numéro 1000000, carte JETON de 12 crédits"... Unlike a file's comment, it follows
// every write.
std::string DescribeCard(const reader::Sle4442Chip& chip);

// Puts the card of file into the reader. A card already inside is refused, as a slot holds one
// card: it must be removed first, so the monitor sees the removal. False with a French message.
bool InsertDeckCard(reader::SimulatedReader& reader, const std::string& path, std::string& error);

} // namespace ostrel::app
