#include "server_address.h"

#include <algorithm>
#include <cctype>
#include <libpq-fe.h>
#include <memory>

namespace ostrel::journal {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char given) {
               return std::tolower(static_cast<unsigned char>(given)) == lower;
           });
}

JournalLocation Refused(std::string reason) {
    return {JournalLocation::Kind::Refused, {}, std::move(reason)};
}

// libpq's own verdict on an address, with its reason in the refusal.
JournalLocation Server(std::string address) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(address.c_str(), &message);
    const std::unique_ptr<char, decltype(&PQfreemem)> freeMessage(message, &PQfreemem);
    if (!options) {
        std::string why = message ? message : "adresse illisible";
        while (!why.empty() && IsBlank(why.back()))
            why.pop_back();
        return Refused("adresse du serveur refusée (" + why + ")");
    }
    PQconninfoFree(options);
    return {JournalLocation::Kind::Server, std::move(address), {}};
}

// A keyword, blanks, then "=": how every libpq settings string begins.
bool LooksLikeSettings(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
        ++i;
    if (i == 0)
        return false;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i < text.size() && text[i] == '=';
}

} // namespace

JournalLocation ReadJournalLocation(std::string_view given) {
    const std::string_view text = Trimmed(given);
    if (text.empty())
        return Refused("ni fichier ni adresse de serveur : valeur vide");
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return Refused("caractère de contrôle dans la valeur");
    for (const std::string_view scheme : {"postgresql://", "postgres://"}) {
        if (StartsWithNoCase(text, scheme))
            return Server(std::string(scheme) + std::string(text.substr(scheme.size())));
    }
    if (text.find("://") != std::string_view::npos)
        return Refused("adresse d'un autre genre que postgresql:// ou postgres://");
    // "keyword=value ...": a path with "=" further on ("/srv/a=b.sqlite") stays a file.
    if (LooksLikeSettings(text))
        return Server(std::string(text));
    return {JournalLocation::Kind::File, std::string(text), {}};
}

} // namespace ostrel::journal
