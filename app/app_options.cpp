#include "app_options.h"

#include "reader/reader_factory.h"

namespace ostrel::app {

namespace {

// Reads "--name VALUE" or "--name=VALUE" at args[i]; false when args[i] is another option.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               std::string& value, bool& seen, std::string& error) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            error = "l'option « " + name + " » attend une valeur";
            return true;
        }
        value = args[++i];
    } else if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
    } else {
        return false;
    }
    if (seen)
        error = "option « " + name + " » donnée deux fois";
    seen = true;
    return true;
}

} // namespace

bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options,
                     std::string& error) {
    options = AppOptions{};
    options.reader = reader::DefaultReaderChoice();
    std::string readerText;
    bool readerSeen = false;
    bool configSeen = false;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
        } else if (!TakeValue(args, i, "--reader", readerText, readerSeen, error) &&
                   !TakeValue(args, i, "--config", options.configFile, configSeen, error)) {
            error = "argument inconnu « " + args[i] + " »";
        }
    }
    if (!error.empty())
        return false;
    if (configSeen && options.configFile.empty()) {
        error = "l'option « --config » attend un nom de fichier";
        return false;
    }
    return !readerSeen || reader::ParseReaderChoice(readerText, options.reader, error);
}

} // namespace ostrel::app
