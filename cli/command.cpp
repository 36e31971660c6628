#include "command.h"

#include <ostream>

namespace ostrel::cli {

int Command::execute(const GlobalOptions& options, const std::vector<std::string>& args,
                     CommandIo& io) {
    base::ParsedLine line;
    std::string error;
    switch (base::ParseCommandLine(args, definition_.options, line, error, definition_.wording)) {
    case base::ParseOutcome::Help:
        io.out << definition_.help << base::OptionsHelp(definition_.options) << definition_.helpEnd;
        return 0;
    case base::ParseOutcome::Refused:
        io.err << refusal(error) << "\n";
        return 2;
    case base::ParseOutcome::Run:
        break;
    }
    const std::size_t count = line.positional.size();
    if (count < definition_.arguments.least || count > definition_.arguments.most) {
        io.err << refusal(std::string(definition_.arguments.refusal)) << "\n";
        return 2;
    }
    return run(options, line, io);
}

std::string Command::refusal(const std::string& message) const {
    return "ostrel-card " + name() + " : " + message;
}

} // namespace ostrel::cli
