#include "server_address_parts.h"

#include <cctype>
#include <cstdio>
#include <libpq-fe.h>
#include <map>

namespace ostrel::journal {

namespace {

std::string Encoded(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// ':' and '\' are the password file's own characters.
std::string PassFileField(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == ':' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::string ComposeAddress(const ServerAddressParts& parts) {
    const bool socket = !parts.host.empty() && parts.host.front() == '/';
    std::string uri = "postgresql://";
    if (!parts.login.empty())
        uri += Encoded(parts.login) + "@";
    if (!socket)
        uri += parts.host.find(':') != std::string::npos ? "[" + parts.host + "]" : parts.host;
    if (!parts.port.empty() && !socket)
        uri += ":" + parts.port;
    uri += "/" + Encoded(parts.database);
    std::string query;
    const auto add = [&query](const std::string& key, const std::string& value) {
        query += (query.empty() ? "?" : "&") + key + "=" + Encoded(value);
    };
    if (socket) {
        add("host", parts.host);
        if (!parts.port.empty())
            add("port", parts.port);
    }
    if (!parts.sslMode.empty())
        add("sslmode", parts.sslMode);
    return uri + query;
}

bool SplitAddress(const std::string& address, ServerAddressParts& parts) {
    PQconninfoOption* options = PQconninfoParse(address.c_str(), nullptr);
    if (!options)
        return false;
    std::map<std::string, std::string> values;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (o->val)
            values[o->keyword] = o->val;
    }
    PQconninfoFree(options);
    if (!values["service"].empty())
        return false;
    parts = {values["host"], values["port"], values["dbname"], values["user"], values["sslmode"]};
    return true;
}

std::string PasswordFileLine(const ServerAddressParts& parts, const std::string& password) {
    // libpq looks up "localhost" for its default socket, and a socket folder by its path.
    return PassFileField(parts.host.empty() ? "localhost" : parts.host) + ":" +
           PassFileField(parts.port.empty() ? "5432" : parts.port) + ":" +
           PassFileField(parts.database.empty() ? parts.login : parts.database) + ":" +
           PassFileField(parts.login) + ":" + PassFileField(password);
}

} // namespace ostrel::journal
