#include "app_options.h"

#include "base/standard_output.h"
#include "reader/reader_factory.h"

#include <iostream>

namespace ostrel::app {

namespace {

constexpr base::Wording kAdminWording{.unknownOption = "argument inconnu « {} »"};

} // namespace

std::string AdminUsage() {
    const std::vector<base::OptionDefinition> options = base::GlobalOptionDefinitions();
    return "usage : ostrel-admin " + base::OptionsSynopsis(options) + "\n" +
           base::OptionsHelp(options);
}

bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options,
                     std::string& error) {
    options = AppOptions{};
    options.reader = reader::DefaultReaderChoice();
    base::ParsedLine line;
    switch (
        base::ParseCommandLine(args, base::GlobalOptionDefinitions(), line, error, kAdminWording)) {
    case base::ParseOutcome::Help:
        options.help = true;
        return true;
    case base::ParseOutcome::Refused:
        return false;
    case base::ParseOutcome::Run:
        break;
    }
    if (!line.positional.empty()) {
        error = "argument inconnu « " + line.positional.front() + " »";
        return false;
    }
    options.given = base::ReadGlobalOptions(line);
    options.configFile = options.given.configFile;
    options.trace = {options.given.trace.has_value(), options.given.trace.value_or(""),
                     options.given.traceCodes, options.given.traceOverwrite};
    if (error = base::GlobalOptionsConflict(options.given); !error.empty())
        return false;
    if (line.has("--config") && options.configFile.empty()) {
        error = "l'option « --config » attend un nom de fichier";
        return false;
    }
    if (line.has("--dialect") &&
        !reader::ParseDialectChoice(options.given.dialect, options.reader.dialect, error)) {
        return false;
    }
    return !line.has("--reader") ||
           reader::ParseReaderChoice(options.given.reader, options.reader, error);
}

int AnswerAdminLine(const AppOptions& options, const std::string& error) {
    if (options.help) {
        std::cout << AdminUsage();
        std::string lost;
        if (!base::CloseStandardOutput(lost)) {
            std::cerr << "ostrel-admin : " << lost << "\n";
            return 1;
        }
        return 0;
    }
    if (options.given.version) {
        std::cout << "ostrel-admin " OSTREL_VERSION "\n";
        return 0;
    }
    std::cerr << "ostrel-admin : " << error << "\n" << AdminUsage();
    return 2;
}

bool HasQtOptions(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-')
            return true;
    }
    return false;
}

} // namespace ostrel::app
