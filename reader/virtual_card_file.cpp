#include "virtual_card_file.h"

#include "base/atomic_file.h"
#include "base/hex.h"
#include "base/regular_file.h"
#include "base/text_excerpt.h"
#include "card/codecs.h"
#include "card/dump_lines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>

namespace ostrel::reader {

namespace {

std::string Where(const std::string& fileName, int line) {
    return "fichier de carte " + base::Escaped(fileName) + ", ligne " + std::to_string(line) +
           " : ";
}

void TrimRight(std::string& s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.pop_back();
    }
}

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// What follows the colon of "key: value" when it is not exactly one space.
std::string SeparatorProblem(const std::string& line, std::size_t colon) {
    const std::string key = line.substr(0, colon + 1);
    if (colon + 1 == line.size())
        return "valeur manquante après « " + key + " »";
    if (line[colon + 1] == '\t')
        return "tabulation après « " + key + " » : une seule espace y est attendue";
    return "une espace est attendue après « " + key + " », pas « " +
           base::Excerpt(line.substr(colon + 1, 1)) + " »";
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
        if (lineNumber == 1 && line.rfind(kByteOrderMark, 0) == 0)
            return fail("le fichier commence par une marque d'ordre des octets (BOM, octets EF BB "
                        "BF) : enregistrez-le en UTF-8 sans BOM");
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            return fail("ligne illisible, ni commentaire (#) ni « clé: valeur » : « " +
                        base::Excerpt(line) + " »");
        }
        const std::string key = line.substr(0, colon);
        const bool isRow = key.size() == 2 && std::isxdigit(static_cast<unsigned char>(key[0])) &&
                           std::isxdigit(static_cast<unsigned char>(key[1]));
        if (!isRow && key != "code" && key != "counter" && key != "protection")
            return fail("clé inconnue « " + base::Excerpt(key) + " »");
        if (!isRow && line.compare(colon, 2, ": ") != 0)
            return fail(SeparatorProblem(line, colon));
        const std::string value = isRow ? std::string() : line.substr(colon + 2);
        if (key == "code") {
            std::uint32_t code = 0;
            if (seen.code)
                return fail("clé « code » répétée");
            if (!base::ParseHexNumber(value, 6, code))
                return fail("code attendu sur six chiffres hexadécimaux, pas « " +
                            base::Excerpt(value) + " »");
            parsed.setCode(code);
            seen.code = true;
        } else if (key == "counter") {
            if (seen.counter)
                return fail("clé « counter » répétée");
            if (value.size() != 1 || value[0] < '0' || value[0] > '7')
                return fail("compteur d'erreurs attendu sur un seul chiffre de 0 à 7, pas « " +
                            base::Excerpt(value) + " »");
            parsed.setErrorCounter(static_cast<std::uint8_t>(value[0] - '0'));
            seen.counter = true;
        } else if (key == "protection") {
            if (seen.protection)
                return fail("clé « protection » répétée");
            if (value.size() != 32 || value.find_first_not_of("01") != std::string::npos)
                return fail("protection attendue sur 32 caractères 0 ou 1, pas « " +
                            base::Excerpt(value) + " »");
            for (int i = 0; i < 32; ++i)
                parsed.setProtectionBit(i, value[static_cast<std::size_t>(i)] == '1');
            seen.protection = true;
        } else {
            const auto row = card::ParseDumpLine(line);
            if (!row)
                return fail("ligne de mémoire mal formée (attendu « " + key +
                            ": » puis quatre groupes de huit chiffres hexadécimaux séparés par "
                            "une espace) : « " +
                            base::Excerpt(line, 48) + " »");
            if (seen.rows[static_cast<std::size_t>(row->row)])
                return fail("ligne de mémoire " + key + " répétée");
            std::copy(row->bytes.begin(), row->bytes.end(),
                      parsed.memory().begin() + static_cast<std::ptrdiff_t>(row->row * 16));
            seen.rows[static_cast<std::size_t>(row->row)] = true;
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

namespace {

std::string CodeLine(const Sle4442Chip& chip) {
    return "code: " + base::HexNumber(chip.code(), 6);
}

std::string CounterLine(const Sle4442Chip& chip) {
    return "counter: " + std::to_string(chip.errorCounter());
}

std::string ProtectionLine(const Sle4442Chip& chip) {
    std::string line = "protection: ";
    for (int i = 0; i < 32; ++i)
        line += chip.protectionBit(i) ? '1' : '0';
    return line;
}

// The line that states the part of chip named by key ("code", "counter", "protection" or a
// row number); empty for anything else.
std::string LineFor(const std::string& key, const Sle4442Chip& chip) {
    if (key == "code")
        return CodeLine(chip);
    if (key == "counter")
        return CounterLine(chip);
    if (key == "protection")
        return ProtectionLine(chip);
    std::uint8_t row = 0;
    if (key.size() == 2 && card::HexPairToByte(key[0], key[1], row) && row < card::kDumpRows)
        return card::DumpLine(chip.memory(), row);
    return {};
}

} // namespace

std::string FormatCardText(const Sle4442Chip& chip) {
    std::string text = "# lines starting with # are comments; blank lines are ignored\n";
    text += CodeLine(chip) + "\n";
    text += CounterLine(chip) + "\n";
    text += ProtectionLine(chip) + "\n";
    for (const auto& row : card::DumpLines(chip.memory()))
        text += row + "\n";
    return text;
}

std::string UpdateCardText(const std::string& previousText, const Sle4442Chip& chip) {
    Sle4442Chip before;
    if (!ParseCardText(previousText, {}, before).ok)
        return FormatCardText(chip);
    // Every line is kept as the person wrote it (comments, blank lines, spacing, lower-case
    // digits, line ends) unless what it states has changed.
    std::string text;
    std::size_t start = 0;
    while (start < previousText.size()) {
        std::size_t end = previousText.find('\n', start);
        end = end == std::string::npos ? previousText.size() : end + 1;
        const std::string_view whole(previousText.data() + start, end - start);
        std::string line(whole.substr(0, whole.find('\n')));
        TrimRight(line);
        const std::string key = line.substr(0, line.find(':'));
        const std::string was =
            line.empty() || line[0] == '#' ? std::string() : LineFor(key, before);
        const std::string now = was.empty() ? std::string() : LineFor(key, chip);
        if (was == now) {
            text += whole;
        } else {
            const bool crlf = whole.size() >= 2 && whole.substr(whole.size() - 2) == "\r\n";
            text += now + (crlf ? "\r\n" : "\n");
        }
        start = end;
    }
    return text;
}

CardFileResult LoadCardFile(const std::string& path, Sle4442Chip& chip) {
    std::string text;
    return LoadCardFile(path, chip, text);
}

CardFileResult LoadCardFile(const std::string& path, Sle4442Chip& chip, std::string& text) {
    std::string content;
    if (const base::FileResult read = base::ReadRegularFile(path, kCardFileLimit, content); !read)
        return {false, "fichier de carte " + read.error};
    CardFileResult parsed = ParseCardText(content, path, chip);
    if (parsed.ok)
        text = std::move(content);
    return parsed;
}

CardFileResult WriteCardText(const std::string& path, const std::string& text) {
    if (const base::FileResult written = base::WriteFileAtomically(path, text); !written)
        return {false, "fichier de carte " + written.error};
    return {true, {}};
}

CardFileResult SaveCardFile(const std::string& path, const Sle4442Chip& chip,
                            const std::string& previousText) {
    return WriteCardText(path, previousText.empty() ? FormatCardText(chip)
                                                    : UpdateCardText(previousText, chip));
}

} // namespace ostrel::reader
