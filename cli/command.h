#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrel::cli {

// Options that come before the command name and apply to every command.
struct GlobalOptions {
    std::string reader;     // empty: the default reader
    std::string configFile; // empty: the platform's per-user configuration file
};

// Where a command writes; tests pass string streams to see the exact lines a user sees.
struct CommandIo {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
};

// One command of ostrel-card: its name, a one-line description and its body.
// execute() receives the arguments after the command name and returns the exit status.
class Command {
public:
    virtual ~Command() = default;
    virtual std::string name() const = 0;
    virtual std::string description() const = 0;
    virtual int execute(const GlobalOptions& options, const std::vector<std::string>& args,
                        CommandIo& io) = 0;
};

} // namespace ostrel::cli
