#include "admin_program.h"
#include "app_options.h"

#include <QApplication>

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    // The usage needs no display: answered before the window system is reached.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << ostrel::app::kAdminUsage;
            return 0;
        }
    }
    QApplication application(argc, argv);
    return ostrel::app::RunAdmin(application);
}
