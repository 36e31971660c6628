#pragma once

#include "base/command_line.h"
#include "base/global_options.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::cli {

// Options that come before the command name and apply to every command.
using GlobalOptions = base::GlobalOptions;

// Where a command writes; tests pass string streams to see the exact lines a user sees.
struct CommandIo {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    bool traceLost = false; // the trace asked for is incomplete: the run fails
};

// How many arguments a command takes after its options, and its refusal when they are not so
// many.
struct ArgumentCount {
    std::size_t least = 0;
    std::size_t most = 0;
    std::string_view refusal = "argument en trop";
};
inline constexpr std::size_t kAnyNumber = SIZE_MAX;

// What a command declares: --help prints help, then the table of the options that have a help
// line, then helpEnd.
struct CommandDefinition {
    std::string_view name;
    std::string_view description; // one line, in the list of "ostrel-card --help"
    std::string_view help;
    std::vector<base::OptionDefinition> options = {};
    ArgumentCount arguments = {};
    std::string_view helpEnd = {};
    base::Wording wording = {};
};

// One command of ostrel-card. execute() reads the arguments after the command name against the
// declared options and count, answers --help and refuses a bad line (one line on io.err,
// status 2); otherwise run() does the work and gives the exit status.
class Command {
public:
    explicit Command(CommandDefinition definition) : definition_(std::move(definition)) {}
    virtual ~Command() = default;

    std::string name() const { return std::string(definition_.name); }
    std::string description() const { return std::string(definition_.description); }
    int execute(const GlobalOptions& options, const std::vector<std::string>& args, CommandIo& io);

protected:
    virtual int run(const GlobalOptions& options, const base::ParsedLine& line, CommandIo& io) = 0;
    // The line that tells a refusal: "ostrel-card NAME : message".
    virtual std::string refusal(const std::string& message) const;

private:
    CommandDefinition definition_;
};

} // namespace ostrel::cli
