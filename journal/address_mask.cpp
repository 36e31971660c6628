#include "address_mask.h"

#include <cctype>

namespace ostrel::journal {

namespace {

constexpr std::string_view kMask = "***";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

// The end of a value of "keyword=value" settings that starts at from: a quoted value ends at
// its closing quote (a backslash escapes the next character), any other at a blank.
std::size_t ValueEnd(std::string_view text, std::size_t from) {
    if (from < text.size() && text[from] == '\'') {
        std::size_t i = from + 1;
        while (i < text.size() && text[i] != '\'')
            i += text[i] == '\\' ? 2 : 1;
        return std::min(i + 1, text.size());
    }
    std::size_t i = from;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
        i += text[i] == '\\' ? 2 : 1;
    return std::min(i, text.size());
}

// "password = value" settings anywhere a keyword may start.
std::string MaskSettings(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const bool keywordStart = i == 0 || std::isspace(static_cast<unsigned char>(text[i - 1]));
        if (keywordStart && StartsWithNoCase(text.substr(i), "password")) {
            std::size_t j = i + 8;
            while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j])))
                ++j;
            if (j < text.size() && text[j] == '=') {
                ++j;
                while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j])))
                    ++j;
                out.append(text.substr(i, j - i));
                out.append(kMask);
                i = ValueEnd(text, j);
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// A URI: the password of its user information (up to the first '@' or '/', as libpq reads
// it) and a "password" parameter of its query.
std::string MaskUri(std::string_view text, std::size_t afterScheme) {
    std::string out(text.substr(0, afterScheme));
    std::size_t end = afterScheme;
    while (end < text.size() && text[end] != '@' && text[end] != '/')
        ++end;
    std::size_t i = afterScheme;
    if (end < text.size() && text[end] == '@') {
        const std::string_view user = text.substr(afterScheme, end - afterScheme);
        const auto colon = user.find(':');
        out.append(user.substr(0, colon));
        if (colon != std::string_view::npos) {
            out += ':';
            out.append(kMask);
        }
        i = end;
    }
    const auto query = text.find('?', i);
    out.append(text.substr(i, query == std::string_view::npos ? text.npos : query - i));
    if (query == std::string_view::npos)
        return out;
    i = query;
    while (i < text.size()) {
        out += text[i]; // '?' or '&'
        const auto next = text.find('&', i + 1);
        const std::string_view parameter =
            text.substr(i + 1, next == std::string_view::npos ? text.npos : next - i - 1);
        if (StartsWithNoCase(parameter, "password=")) {
            out.append(parameter.substr(0, 9));
            out.append(kMask);
        } else {
            out.append(parameter);
        }
        if (next == std::string_view::npos)
            break;
        i = next;
    }
    return out;
}

} // namespace

std::string MaskedAddress(std::string_view address) {
    std::size_t start = 0;
    while (start < address.size() && std::isspace(static_cast<unsigned char>(address[start])))
        ++start;
    const std::string_view rest = address.substr(start);
    for (std::string_view scheme : {"postgresql://", "postgres://"}) {
        if (StartsWithNoCase(rest, scheme))
            return MaskUri(address, start + scheme.size());
    }
    return MaskSettings(address);
}

} // namespace ostrel::journal
