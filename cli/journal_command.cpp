#include "commands.h"

#include "journal/card_history.h"
#include "journal/daily_totals.h"
#include "journal/journal_text.h"
#include "journal/sqlite_journal.h"

#include <filesystem>
#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--journal FICHIER] journal [--serial N] [--since AAAA-MM-JJ]\n"
    "                    [--until AAAA-MM-JJ] [--bytes | --csv [--csv-separator S]]\n"
    "        ostrel-card [--journal FICHIER] journal --totals [--since J] [--until J]\n"
    "                    [--csv [--csv-separator S]]\n"
    "Liste les opérations sur les cartes, les plus récentes d'abord : formatages, réécritures,\n"
    "écritures de crédits et de jetons, codes refusés ; une ligne de titres, puis une ligne\n"
    "par opération (champs séparés par des tabulations). Avec --totals, les totaux de chaque\n"
    "jour (heure locale) puis de la période : seules les opérations « écrite et vérifiée »\n"
    "comptent comme cartes écrites, les codes refusés et les échecs sont comptés à part.\n";

// The listing leaves out the card bytes, which only the CSV file and --bytes carry.
constexpr std::size_t kListedFields = 12;

void PrintTabbed(std::ostream& out, const std::vector<std::string>& fields, std::size_t count) {
    for (std::size_t i = 0; i < count && i < fields.size(); ++i)
        out << (i ? "\t" : "") << fields[i];
    out << "\n";
}

// Lists the journal of card operations, newest first, or sums it day by day.
class JournalCommand : public Command {
public:
    JournalCommand()
        : Command({.name = "journal",
                   .description = "liste le journal des opérations sur les cartes, ou ses totaux",
                   .help = kHelp,
                   .options = {{"--serial", base::OptionValue::Required, "N",
                                "les opérations où la carte a reçu ou portait le numéro N"},
                               {"--since", base::OptionValue::Required, "AAAA-MM-JJ",
                                "depuis ce jour inclus (UTC ; heure locale avec --totals)"},
                               {"--until", base::OptionValue::Required, "AAAA-MM-JJ",
                                "jusqu'à ce jour inclus (UTC ; heure locale avec --totals)"},
                               {"--bytes",
                                base::OptionValue::None,
                                {},
                                "sous chaque opération, les 256 octets avant et après côte à côte, "
                                "les octets changés marqués ^^"},
                               {"--totals",
                                base::OptionValue::None,
                                {},
                                "les totaux de chaque jour : cartes formatées, réécrites, crédits, "
                                "jetons par programme, codes refusés, échecs"},
                               {"--csv",
                                base::OptionValue::None,
                                {},
                                "en CSV pour un tableur, avec les 256 octets avant et après"},
                               {"--csv-separator", base::OptionValue::Required, "S",
                                "le séparateur du CSV : « , » (par défaut) ou « ; »"}}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
    bool readDay(const base::ParsedLine& parsed, const char* option, std::string& day,
                 CommandIo& io) const;
    int refuse(const std::string& message, CommandIo& io) const {
        io.err << refusal(message) << "\n";
        return 2;
    }
};

bool JournalCommand::readDay(const base::ParsedLine& parsed, const char* option, std::string& day,
                             CommandIo& io) const {
    if (!parsed.has(option))
        return true;
    day = parsed.value(option);
    if (journal::IsIsoDate(day))
        return true;
    refuse(std::string(option) + " attend une date AAAA-MM-JJ, pas « " + day + " »", io);
    return false;
}

} // namespace

int JournalCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed,
                        CommandIo& io) {
    journal::Filter filter;
    if (parsed.has("--serial")) {
        const std::string text = parsed.value("--serial");
        if (text.empty() || text.size() > 10 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            return refuse("--serial attend un numéro de série, pas « " + text + " »", io);
        filter.serial = std::stoll(text);
    }
    std::string until;
    if (!readDay(parsed, "--since", filter.since, io) || !readDay(parsed, "--until", until, io))
        return 2;
    const bool totals = parsed.has("--totals");
    const bool csv = parsed.has("--csv");
    if (totals && (filter.serial || parsed.has("--bytes")))
        return refuse("--totals ne va ni avec --serial ni avec --bytes", io);
    if (csv && parsed.has("--bytes"))
        return refuse("--bytes ne va pas avec --csv, qui porte déjà les octets", io);
    char separator = ',';
    if (parsed.has("--csv-separator")) {
        const std::string text = parsed.value("--csv-separator");
        if (!csv)
            return refuse("--csv-separator ne va qu'avec --csv", io);
        if (text != "," && text != ";")
            return refuse("--csv-separator attend « , » ou « ; », pas « " + text + " »", io);
        separator = text[0];
    }

    journal::SqliteJournal records(options.journalFile);
    // Reading never creates a journal: a mistyped name would look like an empty one.
    std::error_code ec;
    if (!std::filesystem::exists(records.Location(), ec)) {
        io.err << refusal("journal " + records.Location() + " : fichier introuvable") << "\n";
        return 1;
    }
    std::string error;
    if (totals) {
        journal::Totals sums;
        if (!journal::ReadTotals(records, filter.since, until, sums, error)) {
            io.err << refusal(error) << "\n";
            return 1;
        }
        if (csv) {
            io.out << journal::TotalsCsv(sums, separator);
            return 0;
        }
        const std::size_t columns = journal::TotalsColumnNames().size();
        PrintTabbed(io.out, journal::TotalsColumnNames(), columns);
        for (const journal::DayTotals& day : sums.days)
            PrintTabbed(io.out, journal::TotalsFields(day), columns);
        PrintTabbed(io.out, journal::TotalsFields(sums.total), columns);
        return 0;
    }
    std::vector<journal::Entry> entries;
    if (!records.List(filter, entries, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    if (!until.empty()) {
        std::erase_if(entries,
                      [&](const journal::Entry& e) { return e.time.substr(0, 10) > until; });
    }
    if (csv) {
        io.out << journal::ToCsv(entries, separator);
        return 0;
    }
    PrintTabbed(io.out, journal::ColumnNames(), kListedFields);
    for (const journal::Entry& entry : entries) {
        PrintTabbed(io.out, journal::EntryFields(entry), kListedFields);
        if (!parsed.has("--bytes"))
            continue;
        for (const std::string& line : journal::BytesLines(journal::CompareBytes(entry)))
            io.out << "  " << line << "\n";
    }
    return 0;
}

std::unique_ptr<Command> NewJournalCommand() {
    return std::make_unique<JournalCommand>();
}

} // namespace ostrel::cli
