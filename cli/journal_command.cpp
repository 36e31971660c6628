#include "commands.h"

#include "base/text_excerpt.h"
#include "base/waiting.h"
#include "journal/card_history.h"
#include "journal/daily_totals.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"
#include "journal/schema_upgrade.h"
#include "journal/server_address.h"
#include "journal/server_check.h"
#include "journal/server_copy.h"
#include "workflows/journal_setting.h"
#include "workflows/opposition.h"
#include "workflows/serial_numbers.h"
#include "workflows/wait_setting.h"

#include <filesystem>
#include <ostream>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card [--journal FICHIER|ADRESSE] journal [--serial N] [--since AAAA-MM-JJ]\n"
    "                    [--until AAAA-MM-JJ] [--bytes | --csv [--csv-separator S]]\n"
    "        ostrel-card [--journal FICHIER|ADRESSE] journal --totals [--by-station]\n"
    "                    [--since J] [--until J] [--csv [--csv-separator S]]\n"
    "        ostrel-card [--journal FICHIER|ADRESSE] journal --oppose N --reason TEXTE\n"
    "        ostrel-card [--journal FICHIER|ADRESSE] journal --lift N\n"
    "        ostrel-card [--journal FICHIER|ADRESSE] journal --oppositions\n"
    "        ostrel-card journal --pending\n"
    "        ostrel-card [--journal FICHIER] journal --copy-to ADRESSE\n"
    "        ostrel-card journal --init-server ADRESSE --next N\n"
    "        ostrel-card journal --check-server ADRESSE\n"
    "        ostrel-card journal --upgrade-server ADRESSE\n"
    "Liste les opérations sur les cartes, les plus récentes d'abord : formatages, réécritures,\n"
    "écritures de crédits et de jetons, codes refusés ; une ligne de titres, puis une ligne\n"
    "par opération (champs séparés par des tabulations). Avec un serveur, celles de tous\n"
    "les postes, chacune avec son poste. Avec --totals, les totaux de chaque jour (heure\n"
    "locale) puis de la période : seules les opérations « écrite et vérifiée » comptent comme\n"
    "cartes écrites ; les codes présentés et refusés, les échecs, les cartes verrouillées et\n"
    "celles laissées intactes pour garder leur dernier essai sont comptés à part, comme les\n"
    "cartes suspectes (modifiées hors poste ou inconnues), les oppositions et les\n"
    "remplacements. Une carte en opposition est refusée à toute écriture, sur tous les postes ;\n"
    "sur un serveur, seul un administrateur lève une opposition.\n"
    "Le journal tenu par un autre programme est attendu au plus [Journal] Attente secondes\n"
    "(30 par défaut), puis la commande échoue en nommant ce programme.\n";

// The listing leaves out the card bytes, which only the CSV file and --bytes carry.
constexpr std::size_t kListedFields = 13;

void PrintTabbed(std::ostream& out, const std::vector<std::string>& fields, std::size_t count) {
    out << journal::ListingLine(fields, count);
}

// Lists the journal of card operations, newest first, or sums it day by day.
class JournalCommand : public Command {
public:
    JournalCommand()
        : Command(
              {.name = "journal",
               .description = "liste le journal des opérations sur les cartes, ou ses totaux",
               .help = kHelp,
               .options = {
                   {"--serial", base::OptionValue::Required, "N",
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
                    "jetons par programme, codes refusés, échecs, cartes verrouillées, "
                    "non présentés"},
                   {"--by-station",
                    base::OptionValue::None,
                    {},
                    "avec --totals : une ligne par jour et par poste"},
                   {"--oppose", base::OptionValue::Required, "N",
                    "met la carte N en opposition (perdue, volée), avec --reason"},
                   {"--reason", base::OptionValue::Required, "TEXTE", "la raison de l'opposition"},
                   {"--lift", base::OptionValue::Required, "N", "lève l'opposition de la carte N"},
                   {"--oppositions",
                    base::OptionValue::None,
                    {},
                    "les oppositions en cours : numéro, date, poste, compte, raison"},
                   {"--csv",
                    base::OptionValue::None,
                    {},
                    "en CSV pour un tableur, avec les 256 octets avant et après"},
                   {"--csv-separator", base::OptionValue::Required, "S",
                    "le séparateur du CSV : « , » (par défaut) ou « ; »"},
                   {"--pending",
                    base::OptionValue::None,
                    {},
                    "les résultats en attente d'envoi au serveur"},
                   {"--copy-to", base::OptionValue::Required, "ADRESSE",
                    "copie le journal (fichier) de ce poste sur le serveur"},
                   {"--init-server", base::OptionValue::Required, "ADRESSE",
                    "crée la série du serveur, avec --next"},
                   {"--next", base::OptionValue::Required, "N",
                    "le premier numéro de série de la série créée"},
                   {"--check-server", base::OptionValue::Required, "ADRESSE",
                    "ce qu'un poste trouve sur ce serveur ; échoue s'il ne pourrait "
                    "pas y formater"},
                   {"--upgrade-server", base::OptionValue::Required, "ADRESSE",
                    "migre le schéma du serveur vers cette version et donne ses "
                    "limites à chaque poste"}}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
    int Pending(CommandIo& io);
    int CopyTo(const GlobalOptions& options, const std::string& address, CommandIo& io);
    int InitServer(const std::string& address, const std::string& next, CommandIo& io);
    int UpgradeServer(const std::string& address, CommandIo& io);
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
    refuse(std::string(option) + " attend une date AAAA-MM-JJ, pas « " + base::Excerpt(day) + " »",
           io);
    return false;
}

} // namespace

int JournalCommand::Pending(CommandIo& io) {
    journal::OutcomeSpool spool({});
    std::vector<journal::PendingOutcome> pending;
    std::string error;
    if (!spool.List({}, true, pending, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    // An entry its journal refused stays listed, with the reason, until someone settles it.
    io.out << "journal\tn°\topération\tissue\tgardé le (UTC)\tmis de côté\n";
    for (const journal::PendingOutcome& p : pending)
        io.out << base::Escaped(p.site) << "\t" << p.entry.id << "\t" << p.entry.operation << "\t"
               << p.entry.outcome << "\t" << p.time << "\t" << base::Escaped(p.setAside) << "\n";
    return 0;
}

int JournalCommand::CopyTo(const GlobalOptions& options, const std::string& address,
                           CommandIo& io) {
    workflows::JournalSetting setting;
    std::chrono::milliseconds limit{};
    std::string error;
    if (!workflows::ReadWaitLimit(options.configFile, limit, error) ||
        !workflows::ChooseJournal({}, options.configFile, setting, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    base::Waiting waiting(limit);
    const journal::JournalLocation given = journal::ReadJournalLocation(options.journalFile);
    journal::SqliteJournal local(
        given.kind == journal::JournalLocation::Kind::File ? given.text : std::string());
    local.SetWaiting(&waiting);
    std::error_code ec;
    std::vector<journal::Entry> entries;
    if (!std::filesystem::exists(local.Location(), ec)) {
        io.err << refusal("journal " + local.Location() + " : fichier introuvable") << "\n";
        return 1;
    }
    journal::PgConnection server(address);
    server.SetWaitLimit(limit);
    journal::CopyReport report;
    std::string fileId;
    if (!local.FileId(fileId, error) || !local.List({}, entries, error) ||
        !journal::CopyToServer(entries, fileId, setting.station, server, report, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    io.out << "copiées : " << report.copied << ", déjà sur le serveur : " << report.alreadyThere
           << ", prochain numéro du serveur : " << report.nextSerial << "\n";
    return 0;
}

int JournalCommand::InitServer(const std::string& address, const std::string& next, CommandIo& io) {
    const workflows::ConfiguredSerial serial = workflows::ParseConfiguredSerial(next);
    if (!serial.serial) {
        io.err << refusal("--next : " + serial.problem) << "\n";
        return 2;
    }
    journal::PgConnection server(address);
    std::string error;
    int from = 0;
    if (!journal::UpgradeServerSchema(server, from, error) ||
        !journal::StartServerSeries(server, *serial.serial, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    io.out << "série créée, prochain numéro : " << *serial.serial << "\n";
    return 0;
}

int JournalCommand::UpgradeServer(const std::string& address, CommandIo& io) {
    journal::PgConnection server(address);
    std::string error;
    int from = 0;
    if (!journal::UpgradeServerSchema(server, from, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    io.out << (from == journal::kSchemaVersion
                   ? "schéma déjà en version "
                   : "schéma migré de la version " + std::to_string(from) + " à la version ")
           << journal::kSchemaVersion << "\n";
    return 0;
}

int JournalCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed,
                        CommandIo& io) {
    if (parsed.has("--pending"))
        return Pending(io);
    if (parsed.has("--check-server")) {
        const journal::ServerCheck check = journal::CheckServer(parsed.value("--check-server"));
        for (const std::string& line : journal::ServerCheckLines(check))
            io.out << line << "\n";
        return check.formatPossible() ? 0 : 1;
    }
    if (parsed.has("--copy-to"))
        return CopyTo(options, parsed.value("--copy-to"), io);
    if (parsed.has("--init-server") != parsed.has("--next")) {
        io.err << refusal("--init-server et --next vont ensemble") << "\n";
        return 2;
    }
    if (parsed.has("--init-server"))
        return InitServer(parsed.value("--init-server"), parsed.value("--next"), io);
    if (parsed.has("--upgrade-server"))
        return UpgradeServer(parsed.value("--upgrade-server"), io);
    journal::Filter filter;
    std::optional<std::int64_t> opposed;
    std::optional<std::int64_t> lifted;
    for (const auto& [option, serial] :
         {std::pair{"--serial", &filter.serial}, std::pair{"--oppose", &opposed},
          std::pair{"--lift", &lifted}}) {
        if (!parsed.has(option))
            continue;
        const std::string text = parsed.value(option);
        if (text.empty() || text.size() > 10 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            return refuse(std::string(option) + " attend un numéro de série, pas « " +
                              base::Excerpt(text) + " »",
                          io);
        *serial = std::stoll(text);
    }
    const int actions =
        (opposed ? 1 : 0) + (lifted ? 1 : 0) + (parsed.has("--oppositions") ? 1 : 0);
    if (actions > 1)
        return refuse("--oppose, --lift et --oppositions vont chacun seul", io);
    if (opposed.has_value() != parsed.has("--reason"))
        return refuse("--oppose et --reason vont ensemble", io);
    if (parsed.has("--by-station") && !parsed.has("--totals"))
        return refuse("--by-station ne va qu'avec --totals", io);
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
            return refuse(
                "--csv-separator attend « , » ou « ; », pas « " + base::Excerpt(text) + " »", io);
        separator = text[0];
    }

    workflows::JournalSetting setting;
    std::chrono::milliseconds limit{};
    std::string error;
    if (!workflows::ReadWaitLimit(options.configFile, limit, error) ||
        !workflows::ChooseJournal(options.journalFile, options.configFile, setting, error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    // A journal another program holds is waited for as long as a card command would.
    base::Waiting waiting(limit);
    workflows::JournalPlace place(setting, options.configFile);
    place.SetWaiting(&waiting);
    journal::Journal& records = place.journal();
    // Reading never creates a journal: a mistyped name would look like an empty one.
    std::error_code ec;
    if (!place.server() && !std::filesystem::exists(records.Location(), ec)) {
        io.err << refusal("journal " + base::Escaped(records.Location()) + " : fichier introuvable")
               << "\n";
        return 1;
    }
    // What this station kept for the server goes first, so that the listing shows it.
    if (place.server() && !records.Open(error)) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    const journal::Writer writer{&records, "ostrel-card", "", setting.station};
    if (opposed || lifted) {
        if (!(opposed ? workflows::Oppose(writer, *opposed, parsed.value("--reason"), error)
                      : workflows::LiftOpposition(writer, *lifted, error))) {
            io.err << refusal(error) << "\n";
            return 1;
        }
        io.out << "carte " << (opposed ? *opposed : *lifted)
               << (opposed ? " mise en opposition" : " : opposition levée") << "\n";
        return 0;
    }
    if (parsed.has("--oppositions")) {
        std::vector<journal::Opposition> oppositions;
        if (!workflows::ListOppositions(records, oppositions, error)) {
            io.err << refusal(error) << "\n";
            return 1;
        }
        const std::vector<std::string> names = {"numéro", "depuis", "poste", "compte", "raison"};
        PrintTabbed(io.out, names, names.size());
        for (const journal::Opposition& o : oppositions)
            PrintTabbed(io.out,
                        {std::to_string(o.serial), journal::LocalTimeText(o.time), o.station,
                         o.login, o.reason},
                        names.size());
        return 0;
    }
    if (totals) {
        journal::Totals sums;
        const bool byStation = parsed.has("--by-station");
        if (!journal::ReadTotals(records, filter.since, until, sums, error, {byStation, {}})) {
            io.err << refusal(error) << "\n";
            return 1;
        }
        if (csv) {
            io.out << journal::TotalsCsv(sums, separator, byStation);
            return 0;
        }
        const std::vector<std::string> names = journal::TotalsColumnNames(byStation);
        PrintTabbed(io.out, names, names.size());
        for (const journal::DayTotals& day : sums.days)
            PrintTabbed(io.out, journal::TotalsFields(day, byStation), names.size());
        PrintTabbed(io.out, journal::TotalsFields(sums.total, byStation), names.size());
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
