#include "base/secret.h"
#include "base/standard_output.h"
#include "command_registry.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ostrel::cli::CommandIo io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    int status = ostrel::cli::RunOstrelCard(args, io);
    ostrel::base::ClearSecret(args); // des --key
    // What a command printed is its result: lost output is a failure, whatever the command did.
    std::string error;
    if (!ostrel::base::CloseStandardOutput(error)) {
        std::cerr << "ostrel-card : " << error << "\n";
        if (status == 0)
            status = 1;
    }
    return status;
}
