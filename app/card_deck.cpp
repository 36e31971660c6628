#include "card_deck.h"

#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "card/card_layout.h"
#include "card/classification.h"
#include "card/codecs.h"
#include "reader/virtual_card_file.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace ostrel::app {

namespace {

// Card files saved by the program start with this comment; it says nothing about the card.
constexpr const char* kGenericComment = "lines starting with # are comments";

std::string Description(const fs::path& path) {
    std::string content;
    if (const base::FileResult read =
            base::ReadRegularFile(path.string(), reader::kCardFileLimit, content);
        !read)
        return read.error;
    std::istringstream in(content);
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
            return base::Excerpt(text, 120);
    }
    return {};
}

std::string Hex(std::uint8_t byte) {
    return card::ByteToHex(byte);
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

std::string DescribeCard(const reader::Sle4442Chip& chip) {
    namespace layout = card::layout;
    const card::CardMemory& m = chip.memory();
    std::string text;
    if (!std::equal(layout::kSle4442Header.begin(), layout::kSle4442Header.end(), m.begin())) {
        text = "ne répond pas comme une SLE4442 (octets 0..3 = " + Hex(m[0]) + " " + Hex(m[1]) +
               " " + Hex(m[2]) + " " + Hex(m[3]) + ")";
    } else {
        switch (card::ClassifyCard(m)) {
        case card::CardClass::NotFormatted:
            text = "carte non formatée, fournisseur " + Hex(m[layout::kSupplierByte]);
            break;
        case card::CardClass::ForeignApplication:
            text = "carte formatée d'une autre application (octet 17 = " +
                   Hex(m[layout::kApplicationCode]) + ")";
            break;
        case card::CardClass::Valid:
            text = "carte formatée, numéro " +
                   std::to_string(card::ReadCardLong(m, layout::kSerialOffset));
            break;
        }
        // The buttons of "Programmation carte" write the kind to any card, formatted or not.
        if (m[layout::kDisposableKind] == layout::kKindToken)
            text += ", carte JETON de " + std::to_string(m[layout::kDisposableValue]) + " crédits";
        else if (m[layout::kDisposableKind] == layout::kKindCredit)
            text += ", carte CREDIT de " + std::to_string(m[layout::kDisposableValue]) + " crédits";
    }
    if (chip.errorCounter() == 0)
        text += ", verrouillée pour de bon (compteur d'erreurs à 0)";
    return text;
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
