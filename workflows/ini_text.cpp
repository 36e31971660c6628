#include "ini_text.h"

#include "base/text_excerpt.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace ostrel::workflows::ini {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One line of the file: where it starts and ends, without its line ending.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;      // end of the content
    std::size_t nextLine = 0; // after the line ending
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos =
        text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
    while (pos < text.size()) {
        const std::size_t ending = text.find_first_of("\r\n", pos);
        Line line{pos, ending == std::string_view::npos ? text.size() : ending, 0};
        line.nextLine = ending == std::string_view::npos ? text.size() : ending + 1;
        if (ending != std::string_view::npos && text[ending] == '\r' &&
            text.substr(ending, 2) == "\r\n")
            ++line.nextLine;
        lines.push_back(line);
        pos = line.nextLine;
    }
    return lines;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The name of a "[section]" line, nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view content) {
    content = Trimmed(content);
    if (content.size() < 2 || content.front() != '[' || content.back() != ']')
        return std::nullopt;
    return Trimmed(content.substr(1, content.size() - 2));
}

bool IsComment(std::string_view content) {
    content = Trimmed(content);
    return !content.empty() && (content.front() == ';' || content.front() == '#');
}

// Where the value of a "key = value" line for key lies in text; nothing for another line.
struct ValueSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::optional<ValueSpan> KeyValue(std::string_view text, const Line& line, std::string_view key) {
    const std::string_view content = text.substr(line.begin, line.end - line.begin);
    if (IsComment(content))
        return std::nullopt;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos || !SameName(Trimmed(content.substr(0, equals)), key))
        return std::nullopt;
    std::size_t begin = line.begin + equals + 1;
    std::size_t end = line.end;
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return ValueSpan{begin, end};
}

// The lines of a section: from the line after its header to the next header.
struct SectionLines {
    std::size_t header = 0;
    std::size_t first = 0;
    std::size_t last = 0; // one past
};

// Every section of that name, in the order of the text.
std::vector<SectionLines> FindSections(const std::vector<Line>& lines, std::string_view text,
                                       std::string_view section) {
    std::vector<SectionLines> found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (!name || !SameName(*name, section))
            continue;
        std::size_t j = i + 1;
        while (j < lines.size() &&
               !SectionName(text.substr(lines[j].begin, lines[j].end - lines[j].begin)))
            ++j;
        found.push_back({i, i + 1, j});
    }
    return found;
}

// The lines that set key in the sections of that name: index of the line and its value.
struct Setting {
    std::size_t line = 0;
    ValueSpan span;
};

std::vector<Setting> FindSettings(const std::vector<Line>& lines, std::string_view text,
                                  std::string_view section, std::string_view key) {
    std::vector<Setting> settings;
    for (const SectionLines& found : FindSections(lines, text, section)) {
        for (std::size_t i = found.first; i < found.last; ++i) {
            if (const auto span = KeyValue(text, lines[i], key))
                settings.push_back({i, *span});
        }
    }
    return settings;
}

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

std::string_view LineEnding(std::string_view text) {
    if (text.find("\r\n") != std::string_view::npos)
        return "\r\n";
    return text.find('\r') != std::string_view::npos && text.find('\n') == std::string_view::npos
               ? "\r"
               : "\n";
}

// Why the bytes are no text this reads: another encoding than UTF-8. Empty when they are.
std::string EncodingProblem(std::string_view text) {
    const struct {
        std::string_view mark;
        const char* name;
    } marks[] = {
        // The four-byte marks first: UTF-32 LE starts with the mark of UTF-16 LE.
        {std::string_view("\xFF\xFE\0\0", 4), "UTF-32 (marque FF FE 00 00)"},
        {std::string_view("\0\0\xFE\xFF", 4), "UTF-32 (marque 00 00 FE FF)"},
        {"\xFF\xFE", "UTF-16 (marque FF FE)"},
        {"\xFE\xFF", "UTF-16 (marque FE FF)"},
    };
    for (const auto& m : marks) {
        if (text.substr(0, m.mark.size()) == m.mark)
            return std::string("fichier codé en ") + m.name + " : enregistrez-le en UTF-8";
    }
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        return "octet nul à la position " + std::to_string(nul) +
               " : pas un texte UTF-8 (UTF-16 ?), enregistrez-le en UTF-8";
    }
    return {};
}

// The first line that is no comment and names key, when none sets it where it is looked for.
std::optional<std::size_t> StrayMention(const std::vector<Line>& lines, std::string_view text,
                                        std::string_view key) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view content = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (IsComment(content))
            continue;
        for (std::size_t at = 0; at + key.size() <= content.size(); ++at) {
            if (SameName(content.substr(at, key.size()), key))
                return i;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> Value(std::string_view text, std::string_view section,
                                 std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const std::vector<Setting> settings = FindSettings(lines, text, section, key);
    if (settings.empty())
        return std::nullopt;
    const ValueSpan& span = settings.front().span;
    return std::string(Unquoted(text.substr(span.begin, span.end - span.begin)));
}

Lookup Find(std::string_view text, std::string_view section, std::string_view key) {
    if (std::string problem = EncodingProblem(text); !problem.empty())
        return {std::nullopt, problem};
    const std::vector<Line> lines = SplitLines(text);
    const std::vector<Setting> settings = FindSettings(lines, text, section, key);
    const std::string where = std::string(key) + " (section [" + std::string(section) + "])";
    if (settings.size() > 1) {
        return {std::nullopt, where + " donné " + std::to_string(settings.size()) +
                                  " fois, lignes " + std::to_string(settings[0].line + 1) + " et " +
                                  std::to_string(settings[1].line + 1) + " : gardez-en un seul"};
    }
    if (settings.empty()) {
        if (const auto stray = StrayMention(lines, text, key)) {
            const Line& line = lines[*stray];
            return {std::nullopt,
                    where + " introuvable, mais la ligne " + std::to_string(*stray + 1) +
                        " le nomme : « " +
                        base::Excerpt(text.substr(line.begin, line.end - line.begin)) + " »"};
        }
        return {};
    }
    return {Value(text, section, key), {}};
}

std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
    const std::vector<Line> lines = SplitLines(text);
    const std::string_view eol = LineEnding(text);
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    std::string result(text);
    if (const std::vector<Setting> settings = FindSettings(lines, text, section, key);
        !settings.empty()) {
        ValueSpan span = settings.front().span;
        if (Unquoted(text.substr(span.begin, span.end - span.begin)).size() + 2 ==
            span.end - span.begin) {
            ++span.begin;
            --span.end;
        }
        return result.replace(span.begin, span.end - span.begin, value);
    }
    const std::vector<SectionLines> sections = FindSections(lines, text, section);
    if (sections.empty()) {
        if (!result.empty() && result.back() != '\n' && result.back() != '\r')
            result += eol;
        if (!lines.empty())
            result += eol;
        return result + "[" + std::string(section) + "]" + std::string(eol) + keyLine +
               std::string(eol);
    }
    // Added after the section's last line that is not blank, so the blank line that separates
    // it from the next section stays where it was.
    const SectionLines& found = sections.front();
    std::size_t after = found.header;
    for (std::size_t i = found.first; i < found.last; ++i) {
        if (!Trimmed(text.substr(lines[i].begin, lines[i].end - lines[i].begin)).empty())
            after = i;
    }
    const Line& line = lines[after];
    if (line.nextLine == line.end) // the last line of the file, without a line ending
        return result.insert(line.end, std::string(eol) + keyLine);
    return result.insert(line.nextLine, keyLine + std::string(eol));
}

} // namespace ostrel::workflows::ini
