// ostrel-card des: exit statuses and the exact lines a user sees.

#include "des_command.h"

#include "cls_des.h"
#include "openssl_des_cbc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

namespace fs = std::filesystem;
using ostrel::cli::CommandIo;
using ostrel::cli::DesCommand;
using ostrel::cli::GlobalOptions;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::vector<std::string>& args, bool errIsTerminal = false) {
    std::ostringstream out, err;
    CommandIo io{out, err, errIsTerminal};
    DesCommand command;
    const int status = command.execute(GlobalOptions{}, args, io);
    return {status, out.str(), err.str()};
}

class DesCommandTest : public ::testing::Test {
protected:
    fs::path folder;
    void SetUp() override {
        std::random_device seed;
        folder = fs::temp_directory_path() / ("des_command_test_" + std::to_string(seed()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string path(const std::string& name) const { return (folder / name).string(); }
    std::string write(const std::string& name, const std::string& content) {
        std::ofstream(folder / name, std::ios::binary) << content;
        return path(name);
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(DesCommandTest, FilesRoundTripWithKeyFile) {
    const auto in = write("in.txt", "Carte à l'intérieur\n");
    const auto keyFile = write("key", "clé-1234\n");
    EXPECT_EQ(run({"encrypt", in, path("out.des"), "--key-file", keyFile}).status, 0);
    const Outcome back = run({"decrypt", path("out.des"), path("back.txt"), "--key-file", keyFile});
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.err, "");
    EXPECT_EQ(read(path("back.txt")), "Carte à l'intérieur\n");
}

// The key file's UTF-8 "é" is the single byte E9 of the cipher's key, like OpenSSL's -K.
TEST_F(DesCommandTest, KeyIsWindows1252AndInteroperates) {
    const auto in = write("in.bin", "0123456789");
    ASSERT_EQ(run({"encrypt", in, path("out.des"), "--key", "clé"}).status, 0);
    const std::string cipher = read(path("out.des"));
    const auto plain = ostrel::des::test::OpenSslDesCbc(
        "cl\xE9", std::vector<std::uint8_t>(cipher.begin(), cipher.end()), false);
    EXPECT_EQ(std::string(plain.begin() + 12, plain.begin() + 22), "0123456789");
}

// A file enciphered by an object whose key was never set is under the all-zero key; the empty
// key reads it, with a warning, and agrees with OpenSSL's DES under eight zero bytes.
TEST_F(DesCommandTest, TheEmptyKeyIsTheAllZeroKey) {
    const std::string warning =
        "Attention : clé vide : la clé nulle (huit octets à zéro) est utilisée\n";
    ostrel::des::clsDES noKeySet;
    std::vector<std::uint8_t> buffer = {'s', 'a', 'n', 's', ' ', 'c', 'l', 0xE9};
    ASSERT_TRUE(noKeySet.EncryptByte(buffer));
    const auto madeWithoutKey = write("no-key.des", std::string(buffer.begin(), buffer.end()));
    Outcome r = run({"decrypt", madeWithoutKey, path("plain"), "--key", ""});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, warning);
    EXPECT_EQ(read(path("plain")), "sans cl\xE9");

    const auto emptyKeyFile = write("empty.key", "");
    r = run({"encrypt", path("plain"), path("again.des"), "--key-file", emptyKeyFile});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : la clé du fichier « " + emptyKeyFile +
                         " » est vide (première ligne vide) ; --allow-empty-key pour utiliser la "
                         "clé nulle\n");
    EXPECT_FALSE(fs::exists(path("again.des")));
    r = run({"encrypt", path("plain"), path("again.des"), "--key-file", emptyKeyFile,
             "--allow-empty-key"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, warning);
    const std::string cipher = read(path("again.des"));
    const auto plain = ostrel::des::test::OpenSslDesCbc(
        std::string(8, '\0'), std::vector<std::uint8_t>(cipher.begin(), cipher.end()), false);
    ASSERT_EQ(plain.size(), 24u);
    EXPECT_EQ(plain[8], 8); // the size descriptor
    EXPECT_EQ(std::string(plain.begin() + 12, plain.begin() + 20), "sans cl\xE9");
}

TEST_F(DesCommandTest, FileRefusals) {
    const auto in = write("in.txt", "data");
    const auto out = write("out.des", "old");
    Outcome r = run({"encrypt", in, out, "--key", "k"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : échec du chiffrement de « " + in + " » : « " + out +
                         " » existe déjà (ajoutez --overwrite pour le remplacer)\n");
    EXPECT_EQ(read(out), "old");
    EXPECT_EQ(run({"encrypt", in, out, "--key", "k", "--overwrite"}).status, 0);

    r = run({"decrypt", path("absent"), path("x"), "--key", "k"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : échec du déchiffrement de « " + path("absent") +
                         " » : fichier introuvable\n");

    r = run({"decrypt", out, path("plain"), "--key", "wrong"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : échec du déchiffrement de « " + out +
                         " » : clé incorrecte ou fichier non chiffré ou endommagé (Incorrect size "
                         "descriptor in DES decryption)\n");
    EXPECT_FALSE(fs::exists(path("plain")));
}

TEST_F(DesCommandTest, TextsRoundTripInHexAndRaw) {
    Outcome enc = run({"encrypt-text", "Crédit: 25 €", "--key", "secret", "--hex"});
    ASSERT_EQ(enc.status, 0);
    ASSERT_EQ(enc.out.size(), 2 * 24 + 1u);
    EXPECT_EQ(enc.out.back(), '\n');
    Outcome dec = run({"decrypt-text", enc.out.substr(0, 48), "--key", "secret", "--hex"});
    EXPECT_EQ(dec.status, 0);
    EXPECT_EQ(dec.out, "Crédit: 25 €\n");

    enc = run({"encrypt-text", "--key", "secret", "--", "-raw-"});
    ASSERT_EQ(enc.status, 0);
    EXPECT_EQ(enc.out.size(), 24u);
    if (enc.out.find('\0') == std::string::npos) { // an argument cannot carry a zero byte
        EXPECT_EQ(run({"decrypt-text", "--key", "secret", "--", enc.out}).out, "-raw-\n");
    }
}

// Every kind of name given as key file or as input: used, or refused at once saying what it
// is, with nothing written.
TEST_F(DesCommandTest, KeyFilesAndInputsOfEveryKind) {
    write("regular", "clé\n");
    write("read-only", "clé\n");
    fs::permissions(path("read-only"), fs::perms::owner_read);
    fs::create_symlink("regular", path("link"));
    fs::create_directory(path("folder"));
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mknod(path("zero").c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);
    write("big", std::string(5000, 'k'));
    struct Case {
        const char* name;
        const char* says; // empty: accepted
    } cases[] = {
        {"regular", ""},
        {"link", ""},
        {"read-only", ""},
        {"missing", " : fichier introuvable"},
        {"folder", " : c'est un dossier, pas un fichier"},
        {"fifo", " : c'est un tube nommé (FIFO), pas un fichier"},
        {"zero", " : c'est un périphérique, pas un fichier"},
    };
    for (const Case& c : cases) {
        const Outcome asKey = run({"encrypt-text", "x", "--key-file", path(c.name), "--hex"});
        const Outcome asInput = run({"encrypt", path(c.name), path("out"), "--key", "k"});
        if (*c.says == '\0') {
            EXPECT_EQ(asKey.status, 0) << c.name << ": " << asKey.err;
            EXPECT_EQ(asInput.status, 0) << c.name << ": " << asInput.err;
            fs::remove(path("out"));
            continue;
        }
        EXPECT_EQ(asKey.err, "Erreur : fichier de clé " + path(c.name) + c.says + "\n");
        EXPECT_EQ(asInput.err,
                  "Erreur : échec du chiffrement de « " + path(c.name) + " »" + c.says + "\n");
        EXPECT_EQ(asInput.status, 1);
        EXPECT_FALSE(fs::exists(path("out"))) << c.name;
    }
    EXPECT_EQ(run({"encrypt-text", "x", "--key-file", path("big")}).err,
              "Erreur : fichier de clé " + path("big") +
                  " : fichier trop grand (5000 octets, au plus 4 Kio)\n");
    // A sparse file far past the format's 2 Gio: refused from its size, before any reading.
    write("huge", "");
    fs::resize_file(path("huge"), std::uintmax_t{3} << 30);
    const Outcome huge = run({"encrypt", path("huge"), path("out"), "--key", "k"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find(" : fichier trop grand (3072 Mio ; au plus "), std::string::npos)
        << huge.err;
}

TEST_F(DesCommandTest, TextRefusals) {
    Outcome r = run({"encrypt-text", "tick ✓", "--key", "k"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : le texte contient le caractère U+2713, que Windows-1252 ne peut "
                     "pas représenter\n");
    EXPECT_EQ(r.out, "");

    r = run({"encrypt-text", "x", "--key", "ключ"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : la clé contient le caractère U+043A, que Windows-1252 ne peut pas "
                     "représenter\n");

    r = run({"decrypt-text", "ABC", "--key", "k", "--hex"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Erreur : le texte n'est pas de l'hexadécimal (paires de chiffres 0-9, A-F)\n");

    r = run({"decrypt-text", "00112233445566778899AABBCCDDEEFF", "--key", "k", "--hex"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Erreur : échec du déchiffrement : clé incorrecte ou texte non chiffré ou "
                     "endommagé (Incorrect size descriptor in DES decryption)\n");
    // No key gives a buffer of this length: the key is not blamed.
    EXPECT_EQ(run({"decrypt-text", "0011", "--key", "k", "--hex"}).err,
              "Erreur : échec du déchiffrement : texte non chiffré ou endommagé (Incorrect cipher "
              "length in DES decryption)\n");
}

TEST_F(DesCommandTest, KeyRules) {
    EXPECT_EQ(run({"encrypt-text", "x"}).err,
              "Erreur : clé manquante : utilisez --key-file FICHIER (ou --key CLÉ)\n");
    EXPECT_EQ(run({"encrypt-text", "x", "--key", "a", "--key-file", "f"}).status, 1);
    EXPECT_EQ(run({"encrypt-text", "x", "--key-file", path("none")}).err,
              "Erreur : fichier de clé " + path("none") + " : fichier introuvable\n");

    const Outcome longKey = run({"encrypt-text", "x", "--key", "0123456789", "--hex"});
    EXPECT_EQ(longKey.status, 0);
    EXPECT_EQ(longKey.err, "Attention : seuls les 8 premiers caractères de la clé sont utilisés\n");
    EXPECT_EQ(run({"decrypt-text", longKey.out.substr(0, 32), "--key", "01234567", "--hex"}).out,
              "x\n");
}

TEST_F(DesCommandTest, UsageErrorsAndHelp) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--key-file"), std::string::npos);
    EXPECT_NE(help.out.find("liste des processus"), std::string::npos);

    EXPECT_EQ(run({}).err, "Erreur : opération manquante (voir ostrel-card des --help)\n");
    EXPECT_EQ(run({"shred", "x"}).status, 2);
    EXPECT_EQ(run({"encrypt", "only-in", "--key", "k"}).err,
              "Erreur : encrypt attend ENTRÉE et SORTIE (voir ostrel-card des --help)\n");
    EXPECT_EQ(run({"encrypt-text", "x", "--key"}).err,
              "Erreur : l'option --key attend une valeur (voir ostrel-card des --help)\n");
    EXPECT_EQ(run({"encrypt-text", "x", "--verbose"}).status, 2);
    EXPECT_EQ(run({"encrypt", "a", "b", "--key", "k", "--hex"}).status, 2);
}

TEST_F(DesCommandTest, ProgressBarOnlyForLargeFilesOnATerminal) {
    const auto small = write("small", "tiny");
    EXPECT_EQ(run({"encrypt", small, path("small.des"), "--key", "k"}, true).err, "");

    const auto large = write("large", std::string(5 << 20, 'z'));
    Outcome r = run({"encrypt", large, path("large.des"), "--key", "k"}, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\rChiffrement ["), std::string::npos);
    EXPECT_NE(r.err.find("] 100 %\n"), std::string::npos);

    r = run({"decrypt", path("large.des"), path("large.back"), "--key", "k"}, false);
    EXPECT_EQ(r.err, "");
    r = run({"decrypt", path("large.des"), path("large.back"), "--key", "k", "--overwrite"}, true);
    EXPECT_NE(r.err.find("\rDéchiffrement ["), std::string::npos);
    EXPECT_EQ(fs::file_size(path("large.back")), 5u << 20);
}

} // namespace
