#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::base {

// How an option takes its value.
enum class OptionValue {
    None,     // a flag: --name
    Required, // --name VALUE, or --name=VALUE where the option allows that form
    Optional, // --name alone, or --name=VALUE
};

// One option as a program or a command declares it. The help table lists the options that
// have a help line, in their order; a help line may span several lines ('\n').
struct OptionDefinition {
    constexpr OptionDefinition(std::string_view name, OptionValue value = OptionValue::None,
                               std::string_view placeholder = {}, std::string_view help = {},
                               bool equalsForm = true)
        : name(name), value(value), placeholder(placeholder), help(help), equalsForm(equalsForm) {}

    std::string_view name; // "--reader"
    OptionValue value;
    std::string_view placeholder; // "LECTEUR"
    std::string_view help;
    bool equalsForm; // --name=VALUE is accepted
};

// The last argument of an OptionDefinition whose value may only follow as the next argument.
inline constexpr bool kValueApartOnly = false;

// The refusals of a command line; "{}" stands for the option. Each program keeps the wording
// its users know.
struct Wording {
    std::string_view unknownOption = "option inconnue « {} »";
    std::string_view missingValue = "l'option « {} » attend une valeur";
    std::string_view repeatedOption = "option « {} » donnée deux fois";
};

// What a command line gave: its options by name (a flag's value is empty) and the rest. Its
// values and arguments are cleared from memory when it goes: they may hold a key (des --key).
struct ParsedLine {
    ~ParsedLine();

    std::map<std::string, std::string, std::less<>> options;
    std::vector<std::string> positional;
    bool help = false;

    bool has(std::string_view name) const { return options.find(name) != options.end(); }
    std::string value(std::string_view name) const;
};

enum class ParseOutcome { Run, Help, Refused };

// Where the options end: at "--", or, for a program's options before a command name, at the
// first argument that is not an option (that argument and the rest go to positional).
enum class OptionsEnd { DoubleDash, FirstPositional };

// Reads args against options. "--help" or "-h" anywhere among the options asks for the help,
// whatever else is wrong on the line; otherwise the first unknown, repeated or incomplete
// option refuses the line, with error worded by wording. "-" and "-5" are arguments.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args,
                              std::span<const OptionDefinition> options, ParsedLine& parsed,
                              std::string& error, const Wording& wording = {},
                              OptionsEnd end = OptionsEnd::DoubleDash);

// "[--reader LECTEUR] [--trace[=FICHIER]] [--force]" for the usage line.
std::string OptionsSynopsis(std::span<const OptionDefinition> options);

// The help table: "  --reader LECTEUR  help", the help lines aligned in one column.
std::string OptionsHelp(std::span<const OptionDefinition> options);

} // namespace ostrel::base
