#include "admin_program.h"
#include "app_options.h"

#include <QApplication>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The usage needs no display: answered before the window system is reached.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << ostrel::app::kAdminUsage;
            return 0;
        }
    }
    // A bad option is told without a display too, unless Qt's own options (single dash) are there.
    std::vector<std::string> args(argv + 1, argv + argc);
    bool qtOptions = false;
    for (const std::string& arg : args)
        qtOptions = qtOptions || (arg.size() > 1 && arg[0] == '-' && arg[1] != '-');
    ostrel::app::AppOptions options;
    std::string error;
    if (!qtOptions && !ostrel::app::ParseAppOptions(args, options, error)) {
        std::cerr << "ostrel-admin : " << error << "\n" << ostrel::app::kAdminUsage;
        return 2;
    }
    QApplication application(argc, argv);
    return ostrel::app::RunAdmin(application);
}
