#include "commands.h"

#include "base/secret.h"
#include "base/text_excerpt.h"
#include "journal/server_address_parts.h"
#include "journal/site_setup.h"
#include "workflows/serial_numbers.h"

#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace ostrel::cli {

namespace {

constexpr const char* kHelp =
    "usage : ostrel-card site init ADRESSE --next N [--admin COMPTE] [--password-stdin]\n"
    "                              [--schema FICHIER]\n"
    "        ostrel-card site add-station ADRESSE COMPTE [--name NOM] [--host HÔTE]\n"
    "                              [--password-stdin]\n"
    "Prépare le serveur PostgreSQL d'un site de plusieurs postes. ADRESSE est celle d'un\n"
    "superutilisateur sur la base du site, par exemple postgresql://postgres@serveur/ostrel\n"
    "(sudo -u postgres ostrel-card site init postgresql:///ostrel ... sur le serveur même).\n"
    "init crée la base si elle manque, y charge le schéma en une transaction, commence la\n"
    "série à N et affiche les lignes à ajouter à pg_hba.conf ; --admin crée aussi le compte\n"
    "d'un administrateur. add-station crée le compte d'un poste et affiche les lignes de sa\n"
    "configuration et de son ~/.pgpass. Un mot de passe créé est tiré au hasard et affiché une\n"
    "seule fois, sauf --password-stdin (la première ligne de l'entrée standard).\n"
    "Chaque étape déjà faite est laissée telle quelle : relancée, la commande ne change rien\n"
    "et le dit.\n";

constexpr const char* kExpected =
    "« site init ADRESSE » ou « site add-station ADRESSE COMPTE » attendu (ostrel-card site "
    "--help)";

class SiteCommand : public Command {
public:
    SiteCommand()
        : Command({.name = "site",
                   .description = "prépare le serveur d'un site : base, schéma, série, comptes",
                   .help = kHelp,
                   .options = {{"--next", base::OptionValue::Required, "N",
                                "init : le premier numéro de série de la série"},
                               {"--admin", base::OptionValue::Required, "COMPTE",
                                "init : crée aussi ce compte d'administrateur"},
                               {"--schema", base::OptionValue::Required, "FICHIER",
                                "init : le schéma à charger (celui du paquet par défaut)"},
                               {"--name", base::OptionValue::Required, "NOM",
                                "add-station : le nom du poste ([Station] Name, le compte par "
                                "défaut)"},
                               {"--host", base::OptionValue::Required, "HÔTE",
                                "add-station : le nom du serveur vu des postes (celui de "
                                "l'adresse par défaut)"},
                               {"--password-stdin",
                                base::OptionValue::None,
                                {},
                                "le mot de passe du compte créé, lu sur l'entrée standard"}},
                   .arguments = {2, 3, kExpected}}) {}

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
    int Init(const base::ParsedLine& parsed, CommandIo& io);
    int AddStation(const base::ParsedLine& parsed, CommandIo& io);
    bool ReadPassword(const base::ParsedLine& parsed, std::string& password, CommandIo& io);
    int refuse(const std::string& message, CommandIo& io) const {
        io.err << refusal(message) << "\n";
        return 2;
    }
};

bool SiteCommand::ReadPassword(const base::ParsedLine& parsed, std::string& password,
                               CommandIo& io) {
    if (!parsed.has("--password-stdin"))
        return true;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.empty()) {
        refuse("--password-stdin : aucun mot de passe sur l'entrée standard", io);
        return false;
    }
    return true;
}

int SiteCommand::Init(const base::ParsedLine& parsed, CommandIo& io) {
    if (parsed.positional.size() != 2)
        return refuse(kExpected, io);
    if (!parsed.has("--next"))
        return refuse("init : --next N attendu, le premier numéro de la série", io);
    const workflows::ConfiguredSerial serial =
        workflows::ParseConfiguredSerial(parsed.value("--next"));
    if (!serial.serial)
        return refuse("--next : " + serial.problem, io);
    journal::SiteInitRequest request;
    request.address = parsed.positional[1];
    request.next = *serial.serial;
    request.adminLogin = parsed.has("--admin") ? parsed.value("--admin") : "";
    std::error_code ec;
    request.schemaFile =
        parsed.has("--schema")
            ? parsed.value("--schema")
            : journal::ShippedSchemaFile(std::filesystem::read_symlink("/proc/self/exe", ec))
                  .string();
    if (!ReadPassword(parsed, request.adminPassword, io))
        return 2;
    journal::SiteInitReport report;
    std::string error;
    const bool done = journal::InitSite(request, report, error);
    base::ClearSecret(request.adminPassword);
    if (!done) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    const std::string db = "« " + base::Escaped(report.database) + " »";
    io.out << (report.databaseCreated ? "base " + db + " créée\n" : "base " + db + " déjà là\n");
    io.out << (report.schemaLoaded ? "schéma chargé (" + request.schemaFile + "), version "
                                   : "schéma déjà là, version ")
           << report.schemaVersion << "\n";
    if (report.seriesStarted) {
        io.out << "série commencée, prochain numéro : " << report.nextSerial << "\n";
    } else {
        io.out << "série déjà commencée, prochain numéro : " << report.nextSerial;
        if (report.nextSerial != request.next)
            io.out << " (--next " << request.next << " non appliqué)";
        io.out << "\n";
    }
    if (!request.adminLogin.empty()) {
        const std::string login = "« " + base::Escaped(request.adminLogin) + " »";
        if (report.adminCreated)
            io.out << "administrateur " << login << " créé"
                   << (report.generatedPassword.empty()
                           ? "\n"
                           : ", mot de passe : " + report.generatedPassword + "\n");
        else if (report.adminGranted)
            io.out << "compte " << login << " déjà là, fait administrateur\n";
        else
            io.out << "administrateur " << login << " déjà là\n";
    }
    io.out << "lignes de pg_hba.conf (avant toute autre ligne qui couvrirait ces comptes),\n"
              "puis rechargez le serveur (sudo systemctl reload postgresql) :\n";
    for (const std::string& line : report.hbaLines)
        io.out << "  " << line << "\n";
    if (!report.changedAnything())
        io.out << "rien à changer : le site était déjà prêt\n";
    base::ClearSecret(report.generatedPassword);
    return 0;
}

int SiteCommand::AddStation(const base::ParsedLine& parsed, CommandIo& io) {
    if (parsed.positional.size() != 3)
        return refuse(kExpected, io);
    journal::StationRequest request;
    request.address = parsed.positional[1];
    request.login = parsed.positional[2];
    if (request.login.empty())
        return refuse("add-station : le nom du compte est vide", io);
    journal::ServerAddressParts parts;
    if (!journal::SplitAddress(request.address, parts))
        return refuse("adresse illisible : « " + base::Excerpt(request.address) + " »", io);
    if (!ReadPassword(parsed, request.password, io))
        return 2;
    journal::StationReport report;
    std::string error;
    const bool done = journal::AddStation(request, report, error);
    base::ClearSecret(request.password);
    if (!done) {
        io.err << refusal(error) << "\n";
        return 1;
    }
    // The station's own address: its login, the server as the stations name it, and a
    // certificate checked against that name unless the address says otherwise.
    parts.login = request.login;
    if (parsed.has("--host"))
        parts.host = parsed.value("--host");
    const bool remote = !parts.host.empty() && parts.host.front() != '/';
    if (remote && parts.sslMode.empty())
        parts.sslMode = "verify-full";
    const std::string login = "« " + base::Escaped(request.login) + " »";
    if (report.created)
        io.out << "poste " << login << " créé\n";
    else if (report.granted)
        io.out << "compte " << login << " déjà là, fait poste\n";
    else
        io.out << "poste " << login << " déjà là : rien à changer\n";
    io.out << "dans la configuration du poste (~/.config/ostrel-chipcard/ostrel-chipcard.ini) :\n"
           << "[Journal]\n"
           << "Server=" << journal::ComposeAddress(parts) << "\n"
           << "[Station]\n"
           << "Name=" << (parsed.has("--name") ? parsed.value("--name") : request.login) << "\n"
           << "dans le ~/.pgpass du poste (mode 600) :\n"
           << journal::PasswordFileLine(parts,
                                        report.password.empty() ? "MOT-DE-PASSE" : report.password)
           << "\n";
    base::ClearSecret(report.password);
    return 0;
}

int SiteCommand::run(const GlobalOptions&, const base::ParsedLine& parsed, CommandIo& io) {
    const std::string& action = parsed.positional[0];
    if (action == "init")
        return Init(parsed, io);
    if (action == "add-station")
        return AddStation(parsed, io);
    return refuse(kExpected, io);
}

} // namespace

std::unique_ptr<Command> NewSiteCommand() {
    return std::make_unique<SiteCommand>();
}

} // namespace ostrel::cli
