#include "commands.h"

#include "card/card_layout.h"
#include "card/codecs.h"
#include "card_check_line.h"
#include "cli_reader.h"
#include "reader/card_session.h"
#include "reader/security_state.h"
#include "workflows/inserted_card.h"
#include "workflows/workflow_texts.h"

#include <optional>
#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--reader LECTEUR] show\n"
    "Lit la carte sans présenter de code et sans rien écrire, puis affiche « carte JETON »,\n"
    "« carte CREDIT » ou « carte inconnue », « kind: token », « kind: credit » ou\n"
    "« kind: unknown », « credits: N », « serial: N » (une carte formatée) ou « serial: aucun »,\n"
    "et « attempts: N » ou « attempts: inconnu » (un lecteur qui ne lit pas le compteur\n"
    "d'erreurs sans code). Pour une carte formatée, une ligne de plus dit ce que le journal en\n"
    "sait : carte en opposition, modifiée hors poste ou inconnue du journal. Rien d'autre\n"
    "n'est inscrit au journal que ce contrôle, quand il trouve quelque chose.\n"
    "Code de sortie 0 quand la carte lue est une carte JETON ou CREDIT.\n";

const char* KindName(std::uint8_t kind) {
    switch (kind) {
    case card::layout::kKindToken:
        return "token";
    case card::layout::kKindCredit:
        return "credit";
    default:
        return "unknown";
    }
}

const char* KindText(std::uint8_t kind) {
    switch (kind) {
    case card::layout::kKindToken:
        return workflows::texts::kTokenCard;
    case card::layout::kKindCredit:
        return workflows::texts::kCreditCard;
    default:
        return workflows::texts::kUnknownKind;
    }
}

// Shows what the card in the reader holds, as far as it tells without a code: reading costs a
// card nothing, while a code presented may cost it an attempt and a write its erase cycles.
class ShowCommand : public Command {
public:
    ShowCommand()
        : Command({.name = "show",
                   .description = "montre le type et les crédits de la carte, sans rien écrire",
                   .help = kHelp}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int ShowCommand::run(const GlobalOptions& options, const base::ParsedLine&, CommandIo& io) {
    CliReader cli;
    if (!cli.open(options, io) || !cli.requireCard(io))
        return 1;
    reader::SharedState& state = cli.state();
    std::string failure;
    const workflows::InsertedCard inserted = workflows::ReadInsertedCard(state, failure);
    reader::EndCardSession(state);
    if (inserted == workflows::InsertedCard::NoAnswer) {
        io.err << "ostrel-card show : " << state.InfoMessage << "\n";
        return 1;
    }
    if (inserted == workflows::InsertedCard::ReadFailed) {
        io.err << "ostrel-card show : " << failure << "\n";
        return 1;
    }
    const std::uint8_t kind = state.CardImage[card::layout::kDisposableKind];
    const std::optional<int> attempts = reader::ReadSecurityState(state).attemptsLeft;
    io.out << KindText(kind) << "\n"
           << "kind: " << KindName(kind) << "\n"
           << "credits: " << int{state.CardImage[card::layout::kDisposableValue]} << "\n"
           << "serial: "
           << (inserted == workflows::InsertedCard::Ours
                   ? std::to_string(
                         card::ReadCardLong(state.CardImage, card::layout::kSerialOffset))
                   : std::string("aucun"))
           << "\n"
           << "attempts: " << (attempts ? std::to_string(*attempts) : std::string("inconnu"))
           << "\n";
    if (inserted == workflows::InsertedCard::Ours)
        PrintCardCheck(options, "show", state.CardImage, io);
    return kind == card::layout::kKindToken || kind == card::layout::kKindCredit ? 0 : 1;
}

std::unique_ptr<Command> NewShowCommand() {
    return std::make_unique<ShowCommand>();
}

} // namespace ostrel::cli
