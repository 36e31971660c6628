#include "command_line.h"

#include "secret.h"

#include <algorithm>

namespace ostrel::base {

namespace {

std::string Worded(std::string_view pattern, std::string_view option) {
    std::string text(pattern);
    if (const auto at = text.find("{}"); at != std::string::npos)
        text.replace(at, 2, option);
    return text;
}

// "-5" is a number given as an argument, "-" the usual name of the standard streams.
bool LooksLikeOption(const std::string& arg) {
    return arg.size() >= 2 && arg[0] == '-' && (arg[1] < '0' || arg[1] > '9');
}

const OptionDefinition* Find(std::span<const OptionDefinition> options, std::string_view name) {
    const auto it =
        std::find_if(options.begin(), options.end(),
                     [&](const OptionDefinition& option) { return option.name == name; });
    return it == options.end() ? nullptr : &*it;
}

// Reads the option at args[i] (and its value), or says why it is refused.
bool TakeOption(const std::vector<std::string>& args, std::size_t& i,
                std::span<const OptionDefinition> options, const Wording& wording,
                ParsedLine& parsed, std::string& error) {
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    const bool joined = equals != std::string::npos;
    const OptionDefinition* option = Find(options, std::string_view(arg).substr(0, equals));
    if (!option || (joined && (option->value == OptionValue::None || !option->equalsForm))) {
        error = Worded(wording.unknownOption, arg);
        return false;
    }
    if (parsed.has(option->name)) {
        error = Worded(wording.repeatedOption, option->name);
        return false;
    }
    std::string value;
    if (joined) {
        value = arg.substr(equals + 1);
    } else if (option->value == OptionValue::Required) {
        if (i + 1 >= args.size()) {
            error = Worded(wording.missingValue, option->name);
            return false;
        }
        value = args[++i];
    }
    parsed.options.emplace(option->name, std::move(value));
    return true;
}

std::string Invocation(const OptionDefinition& option) {
    std::string text(option.name);
    if (option.value == OptionValue::Required)
        text.append(" ").append(option.placeholder);
    if (option.value == OptionValue::Optional)
        text.append("[=").append(option.placeholder).append("]");
    return text;
}

// Columns on a terminal: UTF-8 continuation bytes take none.
std::size_t Columns(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

} // namespace

std::string ParsedLine::value(std::string_view name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
}

ParsedLine::~ParsedLine() {
    for (auto& [name, value] : options)
        ClearSecret(value);
    ClearSecret(positional);
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& args,
                              std::span<const OptionDefinition> options, ParsedLine& parsed,
                              std::string& error, const Wording& wording, OptionsEnd end) {
    parsed = ParsedLine{};
    error.clear();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !LooksLikeOption(arg)) {
            parsed.positional.push_back(arg);
            optionsEnded = optionsEnded || end == OptionsEnd::FirstPositional;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (error.empty()) {
            // After a refusal the line is only searched for --help.
            TakeOption(args, i, options, wording, parsed, error);
        }
    }
    if (parsed.help) {
        error.clear();
        return ParseOutcome::Help;
    }
    return error.empty() ? ParseOutcome::Run : ParseOutcome::Refused;
}

std::string OptionsSynopsis(std::span<const OptionDefinition> options) {
    std::string text;
    for (const OptionDefinition& option : options)
        text.append(text.empty() ? "[" : " [").append(Invocation(option)).append("]");
    return text;
}

std::string OptionsHelp(std::span<const OptionDefinition> options) {
    std::size_t width = 0;
    for (const OptionDefinition& option : options) {
        if (!option.help.empty())
            width = std::max(width, Columns(Invocation(option)));
    }
    std::string text;
    for (const OptionDefinition& option : options) {
        if (option.help.empty())
            continue;
        const std::string invocation = Invocation(option);
        text.append("  ").append(invocation).append(width - Columns(invocation) + 2, ' ');
        std::string_view help = option.help;
        for (std::size_t newline; (newline = help.find('\n')) != std::string_view::npos;) {
            text.append(help.substr(0, newline)).append("\n").append(width + 4, ' ');
            help.remove_prefix(newline + 1);
        }
        text.append(help).append("\n");
    }
    return text;
}

} // namespace ostrel::base
