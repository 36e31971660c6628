#include "commands.h"

#include "reader/virtual_card.h"
#include "reader/vpcd/virtual_card_server.h"

#include <csignal>
#include <ostream>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace ostrel::cli {

namespace {

constexpr const char* kUsage =
    "usage : ostrel-card vpcd-card FICHIER [--port N] [--dialect memcard|storage|iso]\n"
    "                              [--variant plain|older|capped|drops-writes]\n"
    "Met la carte virtuelle FICHIER dans le lecteur virtuel vpcd de pcscd (127.0.0.1, port\n"
    "35963 par défaut, le lecteur « Virtual PCD 00 00 ») et répond au lecteur jusqu'à Ctrl+C,\n"
    "qui retire la carte. Chaque commande qui change la carte l'enregistre dans FICHIER.\n"
    "Si pcscd s'arrête, la carte attend qu'il revienne.\n"
    "--dialect : le jeu de commandes du lecteur imité (memcard par défaut, storage, iso).\n"
    "--variant : la forme de ses réponses : plain (par défaut) ; older, les anciens lecteurs\n"
    "memcard (sélection répondue par l'ATR, lectures suivies des octets de protection, code\n"
    "répondu EC c1 c2 c3 90 00, compteur lu avec Le 00) ou iso (instruction inconnue : 6E 00) ;\n"
    "capped, des réponses d'au plus 64 octets ; drops-writes, un lecteur défaillant qui\n"
    "acquitte chaque écriture en mémoire mais n'en fait qu'une sur deux.\n"
    "--trace ne s'applique pas ici : tracez le programme qui lit la carte.\n";

constexpr int kRetryMilliseconds = 200;

bool ParsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// Ctrl+C, kill and a closed terminal arrive as readable data on a descriptor, so that the
// server stops between two messages and the card file is never left half-saved.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        sigaddset(&signals_, SIGHUP);
        ::pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
        fd_ = ::signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~StopSignals() {
        // A stop signal already taken is consumed here: unblocked, it would kill the process.
        if (fd_ >= 0) {
            signalfd_siginfo taken;
            while (::read(fd_, &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken)) {
            }
            ::close(fd_);
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const { return fd_; }
    // Waits up to milliseconds; true when a stop signal came.
    bool arrivedWithin(int milliseconds) const {
        pollfd waiting{fd_, POLLIN, 0};
        return ::poll(&waiting, 1, milliseconds) > 0;
    }

private:
    sigset_t signals_{};
    sigset_t previous_{};
    int fd_ = -1;
};

// "vpcd-card FILE [--port N] [--dialect D]": serves a virtual card file to the vpcd virtual reader
// of pcscd until interrupted.
class VpcdCardCommand : public Command {
public:
    VpcdCardCommand()
        : Command(
              {.name = "vpcd-card",
               .description = "met une carte virtuelle dans le lecteur virtuel vpcd de pcscd",
               .help = kUsage,
               .options = {{"--port", base::OptionValue::Required},
                           {"--dialect", base::OptionValue::Required},
                           {"--variant", base::OptionValue::Required}},
               .arguments = {1, 1, "un fichier de carte attendu (ostrel-card vpcd-card --help)"}}) {
    }

private:
    int run(const GlobalOptions& options, const base::ParsedLine& parsed, CommandIo& io) override;
};

} // namespace

int VpcdCardCommand::run(const GlobalOptions& options, const base::ParsedLine& parsed,
                         CommandIo& io) {
    // The card side sees no reader-library call to trace; an accepted --trace would write
    // nothing.
    if (options.trace) {
        io.err << "ostrel-card vpcd-card : --trace ne s'applique pas à la carte servie ; "
                  "tracez le programme qui la lit\n";
        return 2;
    }
    std::uint16_t port = reader::vpcd::kDefaultVpcdPort;
    if (parsed.has("--port") && !ParsePort(parsed.value("--port"), port)) {
        io.err << "ostrel-card vpcd-card : --port attend un nombre de 1 à 65535, pas « "
               << parsed.value("--port") << " »\n";
        return 2;
    }
    auto dialect = reader::dialect::Dialect::Memcard;
    if (parsed.has("--dialect")) {
        const auto named = reader::dialect::DialectNamed(parsed.value("--dialect"));
        if (!named) {
            io.err << "ostrel-card vpcd-card : --dialect attend memcard, storage ou iso, pas « "
                   << parsed.value("--dialect") << " »\n";
            return 2;
        }
        dialect = *named;
    }
    auto variant = reader::dialect::Variant::Plain;
    if (parsed.has("--variant")) {
        const auto named = reader::dialect::VariantNamed(parsed.value("--variant"));
        if (!named || !reader::dialect::VariantExists(dialect, *named)) {
            io.err
                << "ostrel-card vpcd-card : --variant attend plain, older, capped ou drops-writes "
                   "(older : "
                   "memcard ou iso), pas « "
                << parsed.value("--variant") << " »\n";
            return 2;
        }
        variant = *named;
    }
    const std::string& file = parsed.positional[0];
    std::string error;
    auto card = reader::VirtualCard::FromFile(file, error);
    if (!card) {
        io.err << "ostrel-card vpcd-card : " << error << "\n";
        return 1;
    }

    StopSignals stop;
    reader::vpcd::VirtualCardServer server(card, port, dialect, variant);
    if (!server.insert(error)) {
        io.err << "ostrel-card vpcd-card : " << error << "\n";
        return 1;
    }
    io.out << "carte " << file << " dans le lecteur virtuel 127.0.0.1:" << port << std::endl;
    while (server.serve(stop.fd()) == reader::vpcd::VirtualCardServer::End::Removed) {
        io.err << "ostrel-card vpcd-card : le lecteur virtuel a fermé la connexion, la carte "
                  "attend son retour"
               << std::endl;
        bool stopped = false;
        while (!(stopped = stop.arrivedWithin(kRetryMilliseconds)) && !server.insert(error)) {
        }
        if (stopped)
            break;
        io.out << "carte " << file << " de nouveau dans le lecteur virtuel" << std::endl;
    }
    server.remove();
    if (!server.responder().lastSaveError().empty()) {
        io.err << "ostrel-card vpcd-card : " << server.responder().lastSaveError() << "\n";
        return 1;
    }
    return 0;
}

std::unique_ptr<Command> NewVpcdCardCommand() {
    return std::make_unique<VpcdCardCommand>();
}

} // namespace ostrel::cli
