#include "commands.h"

#include "base/hex.h"
#include "base/text_excerpt.h"
#include "reader/security_code.h"
#include "reader/sle4442_chip.h"
#include "reader/virtual_card_file.h"

#include <filesystem>
#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kUsage =
    "usage : ostrel-card card new FICHIER [--supplier HH] [--code HHHHHH] [--counter N] [--force]\n"
    "Écrit une carte virtuelle vierge : octets 0..3 A2 13 10 91, octet 25 le fournisseur\n"
    "(04 par défaut), tous les autres FF, les 32 premiers octets inscriptibles. Le code est\n"
    "celui d'usine du fournisseur (FFFFFF pour un fournisseur inconnu) sauf --code ;\n"
    "le compteur d'erreurs vaut 7 sauf --counter. --force remplace un fichier existant.\n";

constexpr const char* kNewCardExpected = "« card new FICHIER » attendu (ostrel-card card --help)";

// "card new FILE": writes a blank virtual card file.
class CardCommand : public Command {
public:
    CardCommand()
        : Command({.name = "card",
                   .description = "crée une carte virtuelle vierge (card new FICHIER)",
                   .help = kUsage,
                   .options = {{"--supplier", base::OptionValue::Required},
                               {"--code", base::OptionValue::Required},
                               {"--counter", base::OptionValue::Required},
                               {"--force"}},
                   .arguments = {2, 2, kNewCardExpected}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int CardCommand::run(const GlobalOptions&, const base::ParsedLine& parsed, CommandIo& io) {
    if (parsed.positional[0] != "new") {
        io.err << refusal(kNewCardExpected) << "\n";
        return 2;
    }
    const std::string& file = parsed.positional[1];
    std::uint32_t supplier = 0x04;
    if (parsed.has("--supplier") &&
        !base::ParseHexNumber(parsed.value("--supplier"), 2, supplier)) {
        io.err << "ostrel-card card : --supplier attend deux chiffres hexadécimaux, pas « "
               << parsed.value("--supplier") << " »\n";
        return 2;
    }
    std::uint32_t code = reader::FactoryCode(static_cast<std::uint8_t>(supplier));
    if (code == 0)
        code = 0xFFFFFF;
    if (parsed.has("--code") && !base::ParseHexNumber(parsed.value("--code"), 6, code)) {
        io.err << "ostrel-card card : --code attend six chiffres hexadécimaux, pas « "
               << parsed.value("--code") << " »\n";
        return 2;
    }
    int counter = 7;
    if (parsed.has("--counter")) {
        const std::string text = parsed.value("--counter");
        if (text.size() != 1 || text[0] < '0' || text[0] > '7') {
            io.err << "ostrel-card card : --counter attend un nombre de 0 à 7, pas « " << text
                   << " »\n";
            return 2;
        }
        counter = text[0] - '0';
    }
    std::error_code ec;
    if (!parsed.has("--force") && std::filesystem::exists(file, ec)) {
        io.err << "ostrel-card card : " << base::Escaped(file)
               << " existe déjà (--force pour le remplacer)\n";
        return 1;
    }
    reader::Sle4442Chip chip =
        reader::Sle4442Chip::Blank(static_cast<std::uint8_t>(supplier), code);
    chip.setErrorCounter(static_cast<std::uint8_t>(counter));
    const reader::CardFileResult saved = reader::SaveCardFile(file, chip);
    if (!saved.ok) {
        io.err << "ostrel-card card : " << saved.error << "\n";
        return 1;
    }
    return 0;
}

std::unique_ptr<Command> NewCardCommand() {
    return std::make_unique<CardCommand>();
}

} // namespace ostrel::cli
