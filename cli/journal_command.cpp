#include "commands.h"

#include "base/text_excerpt.h"
#include "journal/journal_text.h"
#include "journal/sqlite_journal.h"

#include <filesystem>
#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--journal FICHIER] journal [--serial N] [--since AAAA-MM-JJ] [--csv]\n"
    "Liste les opérations sur les cartes, les plus récentes d'abord : formatages, réécritures,\n"
    "écritures de crédits et de jetons, codes refusés ; une ligne de titres, puis une ligne\n"
    "par opération (champs séparés par des tabulations).\n";

// The listing leaves out the card bytes, which only the CSV file carries.
constexpr std::size_t kListedFields = 12;

void PrintTabbed(std::ostream& out, const std::vector<std::string>& fields) {
    out << journal::ListingLine(fields, kListedFields);
}

// Lists the journal of card operations, newest first.
class JournalCommand : public Command {
public:
    JournalCommand()
        : Command({.name = "journal",
                   .description = "liste le journal des opérations sur les cartes",
                   .help = kHelp,
                   .options = {{"--serial", base::OptionValue::Required, "N",
                                "les opérations où la carte a reçu ou portait le numéro N"},
                               {"--since", base::OptionValue::Required, "AAAA-MM-JJ",
                                "les opérations depuis ce jour (UTC)"},
                               {"--csv",
                                base::OptionValue::None,
                                {},
                                "en CSV pour un tableur, avec les 256 octets avant et après"}}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int JournalCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed,
                        CommandIo& io) {
    journal::Filter filter;
    if (parsed.has("--serial")) {
        const std::string text = parsed.value("--serial");
        if (text.empty() || text.size() > 10 ||
            text.find_first_not_of("0123456789") != std::string::npos) {
            io.err << refusal("--serial attend un numéro de série, pas « " + base::Excerpt(text) +
                              " »")
                   << "\n";
            return 2;
        }
        filter.serial = std::stoll(text);
    }
    if (parsed.has("--since")) {
        filter.since = parsed.value("--since");
        if (!journal::IsIsoDate(filter.since)) {
            io.err << refusal("--since attend une date AAAA-MM-JJ, pas « " +
                              base::Excerpt(filter.since) + " »")
                   << "\n";
            return 2;
        }
    }
    journal::SqliteJournal records(options.journalFile);
    std::vector<journal::Entry> entries;
    std::string error;
    // Reading never creates a journal: a mistyped name would look like an empty one.
    std::error_code ec;
    if (!std::filesystem::exists(records.Location(), ec)) {
        io.err << refusal("journal " + base::Escaped(records.Location()) + " : fichier introuvable")
               << "\n";
        return 1;
    }
    if (!records.List(filter, entries, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    if (parsed.has("--csv")) {
        io.out << journal::ToCsv(entries);
        return 0;
    }
    PrintTabbed(io.out, journal::ColumnNames());
    for (const journal::Entry& entry : entries)
        PrintTabbed(io.out, journal::EntryFields(entry));
    return 0;
}

std::unique_ptr<Command> NewJournalCommand() {
    return std::make_unique<JournalCommand>();
}

} // namespace ostrel::cli
