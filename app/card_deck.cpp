#include "card_deck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace ostrel::app {

namespace {

// Card files saved by the program start with this comment; it says nothing about the card.
constexpr const char* kGenericComment = "lines starting with # are comments";

std::string Description(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        if (line[0] != '#')
            break;
        const auto start = line.find_first_not_of("# ");
        std::string text = start == std::string::npos ? std::string() : line.substr(start);
        while (!text.empty() && (text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (!text.empty() && text.rfind(kGenericComment, 0) != 0)
            return text;
    }
    return {};
}

} // namespace

std::vector<DeckCard> ListDeck(const std::string& folder) {
    std::vector<DeckCard> deck;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec) || entry.path().extension() != kCardFileExtension)
            continue;
        deck.push_back(
            {entry.path().string(), entry.path().stem().string(), Description(entry.path())});
    }
    std::sort(deck.begin(), deck.end(),
              [](const DeckCard& a, const DeckCard& b) { return a.name < b.name; });
    return deck;
}

bool InsertDeckCard(reader::SimulatedReader& reader, const std::string& path, std::string& error) {
    if (reader.card()) {
        error = "une carte est déjà dans le lecteur : retirez-la d'abord";
        return false;
    }
    auto card = reader::VirtualCard::FromFile(path, error);
    if (!card)
        return false;
    reader.insertCard(std::move(card));
    return true;
}

} // namespace ostrel::app
