#include "des_command.h"

#include "base/secret.h"
#include "base/text_excerpt.h"
#include "cls_des.h"
#include "key_file.h"
#include "windows1252.h"

#include <filesystem>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

namespace ostrel::cli {

namespace {

namespace fs = std::filesystem;
using des::clsDES;

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

// Files from this size on show a progress bar, when stderr is a terminal.
constexpr std::uintmax_t kProgressBarFrom = 4 << 20;

const base::OptionDefinition kOptions[] = {
    {"--key", base::OptionValue::Required, "CLÉ",
     "la clé ; seuls ses 8 premiers caractères comptent. Attention :\n"
     "les autres utilisateurs de la machine peuvent la voir dans la\n"
     "liste des processus ; préférez --key-file.",
     base::kValueApartOnly},
    {"--key-file", base::OptionValue::Required, "FICHIER",
     "lit la clé dans la première ligne du fichier", base::kValueApartOnly},
    {"--allow-empty-key", base::OptionValue::None, "",
     "accepte un fichier de clé vide. Une clé vide (--key '' ou ce\n"
     "fichier) est la clé nulle, huit octets à zéro : celle des\n"
     "fichiers chiffrés sans clé."},
    {"--overwrite", base::OptionValue::None, "", "remplace SORTIE si elle existe déjà"},
    {"--hex", base::OptionValue::None, "", "texte chiffré en hexadécimal (sinon octets bruts)"},
};

struct Request {
    std::string operation;
    std::vector<std::string> operands;
    std::optional<std::string> key;
    std::optional<std::string> keyFile;
    bool overwrite = false;
    bool hex = false;
    bool allowEmptyKey = false;
};

std::string Refusal(const std::string& message) {
    return "Erreur : " + message + " (voir ostrel-card des --help)";
}

Request ReadRequest(const base::ParsedLine& line) {
    Request request;
    if (!line.positional.empty()) {
        request.operation = line.positional.front();
        request.operands.assign(line.positional.begin() + 1, line.positional.end());
    }
    if (line.has("--key"))
        request.key = line.value("--key");
    if (line.has("--key-file"))
        request.keyFile = line.value("--key-file");
    request.overwrite = line.has("--overwrite");
    request.hex = line.has("--hex");
    request.allowEmptyKey = line.has("--allow-empty-key");
    return request;
}

std::string conversionMessage(const std::string& what, const des::Utf8ToWindows1252Error& error) {
    if (error.kind == des::Utf8ToWindows1252Error::Kind::InvalidUtf8) {
        return what + " n'est pas du texte UTF-8 valide (octet " +
               std::to_string(error.offset + 1) + ")";
    }
    return what + " contient le caractère " + des::CodePointName(error.codePoint) +
           ", que Windows-1252 ne peut pas représenter";
}

// Why a decryption failed, the class's own description last: a buffer of a length no
// encryption gives cannot be a wrong key's fault; a bad size descriptor may be.
std::string DecryptionFailure(const des::DesStatus& status, const std::string& what = "fichier") {
    const std::string damaged = what + " non chiffré ou endommagé (" + status.description + ")";
    return status.number == des::kErrorCipherLength ? damaged : "clé incorrecte ou " + damaged;
}

class ProgressBar {
public:
    explicit ProgressBar(std::ostream& err, const char* label) : err_(err), label_(label) {}
    ~ProgressBar() {
        if (shown_) {
            err_ << '\n';
        }
    }
    void show(std::int32_t percent) {
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        err_ << '\r' << label_ << " [" << std::string(filled, '#')
             << std::string(kWidth - filled, '-') << "] " << percent << " %" << std::flush;
        shown_ = true;
    }

private:
    std::ostream& err_;
    const char* label_;
    bool shown_ = false;
};

class DesRun {
public:
    DesRun(const Request& request, CommandIo& io) : request_(request), io_(io) {}
    ~DesRun() { base::ClearSecret(key_); }

    int run() {
        const std::string& op = request_.operation;
        const bool fileOperation = op == "encrypt" || op == "decrypt";
        if (!fileOperation && op != "encrypt-text" && op != "decrypt-text") {
            return usage(op.empty() ? "opération manquante" : "opération inconnue : " + op);
        }
        const std::size_t wanted = fileOperation ? 2 : 1;
        if (request_.operands.size() != wanted) {
            return usage(op + " attend " + (fileOperation ? "ENTRÉE et SORTIE" : "un TEXTE"));
        }
        if (fileOperation && request_.hex) {
            return usage("--hex ne s'applique qu'aux textes");
        }
        if (!fileOperation && request_.overwrite) {
            return usage("--overwrite ne s'applique qu'aux fichiers");
        }
        if (!loadKey()) {
            return kFailure;
        }
        if (fileOperation) {
            return runFile(op == "encrypt");
        }
        return op == "encrypt-text" ? encryptText() : decryptText();
    }

private:
    int usage(const std::string& message) {
        io_.err << Refusal(message) << '\n';
        return kUsage;
    }
    int fail(const std::string& message) {
        io_.err << "Erreur : " << message << '\n';
        return kFailure;
    }

    bool loadKey() {
        if (request_.key && request_.keyFile) {
            fail("donnez la clé par --key ou par --key-file, pas les deux");
            return false;
        }
        if (!request_.key && !request_.keyFile) {
            fail("clé manquante : utilisez --key-file FICHIER (ou --key CLÉ)");
            return false;
        }
        std::string text;
        std::string source = "la clé";
        if (request_.keyFile) {
            source = "la clé du fichier « " + *request_.keyFile + " »";
            std::string error;
            if (!ReadKeyFile(*request_.keyFile, text, error)) {
                fail(error);
                return false;
            }
        } else {
            text = *request_.key;
        }
        des::Utf8ToWindows1252Error error;
        const bool converted = des::Utf8ToWindows1252(text, key_, error);
        base::ClearSecret(text);
        if (!converted) {
            fail(conversionMessage(source, error));
            return false;
        }
        if (key_.empty()) {
            // An empty key file is more likely a mistake than a choice: it must be confirmed.
            if (request_.keyFile && !request_.allowEmptyKey) {
                fail(source + " est vide (première ligne vide) ; --allow-empty-key pour utiliser "
                              "la clé nulle");
                return false;
            }
            io_.err << "Attention : clé vide : la clé nulle (huit octets à zéro) est utilisée\n";
            // The key of an object whose key was never set; an empty key argument then keeps it.
            des_.Key(std::string(8, '\0'));
        }
        if (key_.size() > 8) {
            io_.err << "Attention : seuls les 8 premiers caractères de la clé sont utilisés\n";
        }
        return true;
    }

    int runFile(bool encrypt) {
        const fs::path in = request_.operands[0], out = request_.operands[1];
        const std::string what = std::string(encrypt ? "chiffrement" : "déchiffrement") + " de « " +
                                 base::Escaped(in.string()) + " »";
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(in, ec);
        std::optional<ProgressBar> bar;
        if (!ec && io_.errIsTerminal && size >= kProgressBarFrom) {
            bar.emplace(io_.err, encrypt ? "Chiffrement" : "Déchiffrement");
            des_.OnProgress([&bar](std::int32_t percent) { bar->show(percent); });
        }
        const bool ok = encrypt ? des_.EncryptFile(in, out, request_.overwrite, key_)
                                : des_.DecryptFile(in, out, request_.overwrite, key_);
        bar.reset();
        if (ok) {
            return kSuccess;
        }
        switch (des_.LastFileFailure()) {
        case des::FileFailure::MissingInput:
        case des::FileFailure::ReadFailed:
            return fail("échec du " + what + " : " + des_.LastFileError());
        case des::FileFailure::OutputExists:
            return fail("échec du " + what + " : « " + base::Escaped(out.string()) +
                        " » existe déjà (ajoutez --overwrite pour le remplacer)");
        case des::FileFailure::CipherFailed:
            if (encrypt)
                return fail("échec du " + what + " : " + des_.LastFileError());
            return fail("échec du " + what + " : " + DecryptionFailure(des_.LastCipherStatus()));
        case des::FileFailure::OutputPartlyWritten:
            return fail("échec du " + what + " : « " + base::Escaped(out.string()) +
                        " » modifié : " + des_.LastFileError());
        case des::FileFailure::WriteFailed:
            return fail("échec du " + what + " : écriture de « " + base::Escaped(out.string()) +
                        " » impossible (" + des_.LastFileError() +
                        ") ; aucun fichier n'a été modifié");
        case des::FileFailure::None:
            break;
        }
        return fail("échec du " + what + " : écriture de « " + base::Escaped(out.string()) +
                    " » impossible");
    }

    int encryptText() {
        std::string plain;
        des::Utf8ToWindows1252Error error;
        if (!des::Utf8ToWindows1252(request_.operands[0], plain, error)) {
            return fail(conversionMessage("le texte", error));
        }
        std::string cipher;
        if (const auto status = des_.EncryptString(plain, cipher, key_, request_.hex); !status) {
            return fail("échec du chiffrement : " + status.description);
        }
        io_.out << cipher;
        if (request_.hex) {
            io_.out << '\n';
        }
        return kSuccess;
    }

    int decryptText() {
        // Without --hex the text is the cipher's raw bytes, taken as they come.
        std::string plain;
        const auto status = des_.DecryptString(request_.operands[0], plain, key_, request_.hex);
        if (status.number == des::kErrorHexText) {
            return fail("le texte n'est pas de l'hexadécimal (paires de chiffres 0-9, A-F)");
        }
        if (!status) {
            return fail("échec du déchiffrement : " + DecryptionFailure(status, "texte"));
        }
        io_.out << des::Windows1252ToUtf8(plain) << '\n';
        return kSuccess;
    }

    const Request& request_;
    CommandIo& io_;
    clsDES des_;
    std::string key_;
};

} // namespace

DesCommand::DesCommand()
    : Command({
          .name = "des",
          .description = "Chiffre ou déchiffre des fichiers et des textes en DES",
          .help = "Usage :\n"
                  "  ostrel-card des encrypt ENTRÉE SORTIE [--key CLÉ | --key-file FICHIER] "
                  "[--overwrite]\n"
                  "  ostrel-card des decrypt ENTRÉE SORTIE [--key CLÉ | --key-file FICHIER] "
                  "[--overwrite]\n"
                  "  ostrel-card des encrypt-text TEXTE [--key CLÉ | --key-file FICHIER] [--hex]\n"
                  "  ostrel-card des decrypt-text TEXTE [--key CLÉ | --key-file FICHIER] [--hex]\n"
                  "\n"
                  "Chiffre ou déchiffre en DES (CBC, vecteur initial nul) des fichiers ou des "
                  "textes.\n",
          .options = {std::begin(kOptions), std::end(kOptions)},
          .arguments = {0, kAnyNumber},
          .helpEnd = "Les textes sont convertis en Windows-1252 ; un caractère absent de ce jeu "
                     "est refusé.\n",
          .wording = {.unknownOption = "option inconnue : {}",
                      .missingValue = "l'option {} attend une valeur",
                      .repeatedOption = "option {} donnée deux fois"},
      }) {}

int DesCommand::run(const GlobalOptions&, const base::ParsedLine& line, CommandIo& io) {
    Request request = ReadRequest(line);
    const int status = DesRun(request, io).run();
    if (request.key)
        base::ClearSecret(*request.key);
    return status;
}

std::string DesCommand::refusal(const std::string& message) const {
    return Refusal(message);
}

} // namespace ostrel::cli
