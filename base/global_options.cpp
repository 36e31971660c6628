#include "global_options.h"

namespace ostrel::base {

std::vector<OptionDefinition> GlobalOptionDefinitions() {
    std::vector<OptionDefinition> definitions;
    for (const GlobalOption& option : kGlobalOptions)
        definitions.push_back(option.definition);
    return definitions;
}

GlobalOptions ReadGlobalOptions(const ParsedLine& line) {
    GlobalOptions options;
    for (const GlobalOption& option : kGlobalOptions) {
        if (!line.has(option.definition.name))
            continue;
        const std::string value = line.value(option.definition.name);
        std::visit(
            [&](auto field) {
                using Field = std::remove_reference_t<decltype(options.*field)>;
                if constexpr (std::is_same_v<Field, bool>)
                    options.*field = true;
                else
                    options.*field = value;
            },
            option.field);
    }
    return options;
}

std::string GlobalOptionsConflict(const GlobalOptions& options) {
    if (options.traceCodes && !options.trace)
        return "l'option « --trace-codes » va avec « --trace »";
    if (options.traceOverwrite && options.trace.value_or("").empty())
        return "l'option « --trace-overwrite » va avec « --trace=FICHIER »";
    return {};
}

} // namespace ostrel::base
