#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ostrel::cli {

// The arguments of one command: positional ones, options with a value (--name VALUE or
// --name=VALUE) and flags (--name).
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    std::string value(const std::string& name) const {
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

// False with a French message for an unknown option, a missing value or a repeated option.
// "--help" is always a known flag.
bool ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                    const std::set<std::string>& flagOptions, Arguments& parsed,
                    std::string& error);

} // namespace ostrel::cli
