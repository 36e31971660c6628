#include "arguments.h"

namespace ostrel::cli {

bool ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                    const std::set<std::string>& flagOptions, Arguments& parsed,
                    std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.rfind("--", 0) != 0) {
            if (!optionsEnded && arg.size() >= 2 && arg[0] == '-' &&
                !std::isdigit(static_cast<unsigned char>(arg[1]))) {
                error = "option inconnue « " + arg + " »";
                return false;
            }
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (parsed.has(name)) {
            error = "option « " + name + " » donnée deux fois";
            return false;
        }
        if (valueOptions.count(name)) {
            if (equals != std::string::npos) {
                parsed.values[name] = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                parsed.values[name] = args[++i];
            } else {
                error = "l'option « " + name + " » attend une valeur";
                return false;
            }
        } else if ((flagOptions.count(name) || name == "--help") && equals == std::string::npos) {
            parsed.flags.insert(name);
        } else {
            error = "option inconnue « " + arg + " »";
            return false;
        }
    }
    return true;
}

} // namespace ostrel::cli
