#pragma once

#include "command_registry.h"

#include <sstream>
#include <string>
#include <vector>

// What a run of ostrel-card gave: its exit status and the exact text of its two outputs.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// Runs ostrel-card with these arguments in this process, its outputs captured.
inline CliRun OstrelCard(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    ostrel::cli::CommandIo io{out, err, false};
    const int status = ostrel::cli::RunOstrelCard(args, io);
    return {status, out.str(), err.str()};
}
