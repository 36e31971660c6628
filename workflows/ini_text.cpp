#include "ini_text.h"

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
        const std::size_t newline = text.find('\n', pos);
        Line line{pos, newline == std::string_view::npos ? text.size() : newline, 0};
        line.nextLine = newline == std::string_view::npos ? text.size() : newline + 1;
        if (line.end > line.begin && text[line.end - 1] == '\r')
            --line.end;
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

// The lines of section: from the line after its header to the next header. Nothing when the
// section is absent.
struct SectionLines {
    std::size_t header = 0;
    std::size_t first = 0;
    std::size_t last = 0; // one past
};

std::optional<SectionLines> FindSection(const std::vector<Line>& lines, std::string_view text,
                                        std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (!name || !SameName(*name, section))
            continue;
        std::size_t j = i + 1;
        while (j < lines.size() &&
               !SectionName(text.substr(lines[j].begin, lines[j].end - lines[j].begin)))
            ++j;
        return SectionLines{i, i + 1, j};
    }
    return std::nullopt;
}

std::string_view LineEnding(std::string_view text) {
    return text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
}

} // namespace

std::optional<std::string> Value(std::string_view text, std::string_view section,
                                 std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const auto found = FindSection(lines, text, section);
    if (!found)
        return std::nullopt;
    for (std::size_t i = found->first; i < found->last; ++i) {
        if (const auto span = KeyValue(text, lines[i], key)) {
            std::string_view value = text.substr(span->begin, span->end - span->begin);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
    }
    return std::nullopt;
}

std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
    const std::vector<Line> lines = SplitLines(text);
    const std::string_view eol = LineEnding(text);
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    const auto found = FindSection(lines, text, section);
    std::string result(text);
    if (!found) {
        if (!result.empty() && result.back() != '\n')
            result += eol;
        if (!lines.empty())
            result += eol;
        return result + "[" + std::string(section) + "]" + std::string(eol) + keyLine +
               std::string(eol);
    }
    for (std::size_t i = found->first; i < found->last; ++i) {
        if (const auto span = KeyValue(text, lines[i], key))
            return result.replace(span->begin, span->end - span->begin, value);
    }
    // Added after the section's last line that is not blank, so the blank line that separates
    // it from the next section stays where it was.
    std::size_t after = found->header;
    for (std::size_t i = found->first; i < found->last; ++i) {
        if (!Trimmed(text.substr(lines[i].begin, lines[i].end - lines[i].begin)).empty())
            after = i;
    }
    const Line& line = lines[after];
    if (line.nextLine == line.end) // the last line of the file, without a line ending
        return result.insert(line.end, std::string(eol) + keyLine);
    return result.insert(line.nextLine, keyLine + std::string(eol));
}

} // namespace ostrel::workflows::ini
