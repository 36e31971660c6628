#include "virtual_card_file.h"

#include "card/codecs.h"
#include "card/dump_lines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ostrel::reader {

namespace {

std::string Where(const std::string& fileName, int line) {
    return "fichier de carte " + fileName + ", ligne " + std::to_string(line) + " : ";
}

void TrimRight(std::string& s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.pop_back();
    }
}

bool ParseHexValue(const std::string& text, std::size_t digits, std::uint32_t& value) {
    if (text.size() != digits) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < digits; i += 2) {
        std::uint8_t byte = 0;
        if (!card::HexPairToByte(text[i], text[i + 1], byte)) {
            return false;
        }
        value = (value << 8) | byte;
    }
    return true;
}

struct Seen {
    bool code = false;
    bool counter = false;
    bool protection = false;
    std::array<bool, 16> rows{};
};

} // namespace

CardFileResult ParseCardText(const std::string& text, const std::string& fileName,
                             Sle4442Chip& chip) {
    Sle4442Chip parsed;
    Seen seen;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        return CardFileResult{false, Where(fileName, lineNumber) + why};
    };

    while (std::getline(in, line)) {
        ++lineNumber;
        TrimRight(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            return fail("ligne illisible « " + line + " »");
        }
        const std::string key = line.substr(0, colon);
        const std::string value =
            colon + 2 <= line.size() && line[colon + 1] == ' ' ? line.substr(colon + 2) : "";
        if (key == "code") {
            std::uint32_t code = 0;
            if (seen.code)
                return fail("clé « code » répétée");
            if (!ParseHexValue(value, 6, code))
                return fail("code attendu sur six chiffres hexadécimaux");
            parsed.setCode(code);
            seen.code = true;
        } else if (key == "counter") {
            if (seen.counter)
                return fail("clé « counter » répétée");
            if (value.size() != 1 || value[0] < '0' || value[0] > '7')
                return fail("compteur d'erreurs attendu entre 0 et 7");
            parsed.setErrorCounter(static_cast<std::uint8_t>(value[0] - '0'));
            seen.counter = true;
        } else if (key == "protection") {
            if (seen.protection)
                return fail("clé « protection » répétée");
            if (value.size() != 32 || value.find_first_not_of("01") != std::string::npos)
                return fail("protection attendue sur 32 caractères 0 ou 1");
            for (int i = 0; i < 32; ++i)
                parsed.setProtectionBit(i, value[static_cast<std::size_t>(i)] == '1');
            seen.protection = true;
        } else if (key.size() == 2 && std::isxdigit(static_cast<unsigned char>(key[0])) &&
                   std::isxdigit(static_cast<unsigned char>(key[1]))) {
            const auto row = card::ParseDumpLine(line);
            if (!row)
                return fail("ligne de mémoire mal formée « " + line + " »");
            if (seen.rows[static_cast<std::size_t>(row->row)])
                return fail("ligne de mémoire " + key + " répétée");
            std::copy(row->bytes.begin(), row->bytes.end(),
                      parsed.memory().begin() + static_cast<std::ptrdiff_t>(row->row * 16));
            seen.rows[static_cast<std::size_t>(row->row)] = true;
        } else {
            return fail("clé inconnue « " + key + " »");
        }
    }
    ++lineNumber; // a missing part is reported at the end of the file
    if (!seen.code)
        return fail("clé « code » manquante");
    if (!seen.counter)
        return fail("clé « counter » manquante");
    if (!seen.protection)
        return fail("clé « protection » manquante");
    for (int row = 0; row < 16; ++row) {
        if (!seen.rows[static_cast<std::size_t>(row)])
            return fail("ligne de mémoire " + card::ByteToHex(static_cast<std::uint8_t>(row)) +
                        " manquante");
    }
    chip = parsed;
    return {true, {}};
}

std::string FormatCardText(const Sle4442Chip& chip) {
    std::string text = "# lines starting with # are comments; blank lines are ignored\n";
    const std::uint32_t code = chip.code();
    text += "code: " + card::ByteToHex(static_cast<std::uint8_t>(code >> 16)) +
            card::ByteToHex(static_cast<std::uint8_t>(code >> 8)) +
            card::ByteToHex(static_cast<std::uint8_t>(code)) + "\n";
    text += "counter: " + std::to_string(chip.errorCounter()) + "\n";
    text += "protection: ";
    for (int i = 0; i < 32; ++i)
        text += chip.protectionBit(i) ? '1' : '0';
    text += "\n";
    for (const auto& row : card::DumpLines(chip.memory()))
        text += row + "\n";
    return text;
}

CardFileResult LoadCardFile(const std::string& path, Sle4442Chip& chip) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {false, "fichier de carte " + path + " : lecture impossible (" +
                           std::strerror(errno) + ")"};
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        return {false, "fichier de carte " + path + " : erreur de lecture"};
    }
    return ParseCardText(content.str(), path, chip);
}

CardFileResult WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temp = path + ".tmp-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        return {false, path + " : écriture impossible (" + std::strerror(errno) + ")"};
    }
    const std::string tempName(name.data());
    std::size_t written = 0;
    bool ok = true;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    const int savedErrno = errno;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // mkstemp creates the file for the owner only; a card file is an ordinary document.
    ok = ok && ::chmod(tempName.c_str(), 0644) == 0;
    ok = ok && std::rename(tempName.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int err = errno ? errno : savedErrno;
        std::remove(tempName.c_str());
        return {false, path + " : écriture impossible (" + std::strerror(err) + ")"};
    }
    return {true, {}};
}

CardFileResult SaveCardFile(const std::string& path, const Sle4442Chip& chip) {
    return WriteFileAtomically(path, FormatCardText(chip));
}

} // namespace ostrel::reader
