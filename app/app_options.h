#pragma once

#include "base/global_options.h"
#include "reader/reader_choice.h"
#include "reader/reader_factory.h"

#include <string>
#include <vector>

namespace ostrel::app {

// The command line of ostrel-admin: the global options both programs take, and no arguments.
struct AppOptions {
    base::GlobalOptions given; // every global option as the line gave it
    reader::ReaderChoice reader;
    std::string configFile; // INI file of the workflows; empty: the per-user default
    reader::TraceRequest trace;
    bool help = false;
};

// "usage : ostrel-admin [--reader LECTEUR] ..." and the table of the options.
std::string AdminUsage();

// False with a French message for an unknown option, a missing value, a repeated option, an
// argument or a malformed reader. --help anywhere sets help and is never refused.
bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options, std::string& error);

// The answer to a line that does not start the program: the usage on stdout (status 0) after
// --help, "ostrel-admin VERSION" after --version, or the refusal and the usage on stderr
// (status 2).
int AnswerAdminLine(const AppOptions& options, const std::string& error);

// Qt's own options (one dash: -platform, -style...) are on the line: they are not ours to
// refuse, and QApplication takes them out.
bool HasQtOptions(const std::vector<std::string>& args);

} // namespace ostrel::app
