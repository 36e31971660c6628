#include "command_registry.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ostrel::cli::CommandIo io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    const int status = ostrel::cli::RunOstrelCard(args, io);
    std::cout.flush();
    return status;
}
