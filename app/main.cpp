#include "admin_program.h"
#include "app_options.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The usage and a refused line need no display: they are answered before the window system
    // is reached, unless Qt's own options are on the line, which the program reads again once
    // QApplication has taken them out.
    const std::vector<std::string> args(argv + 1, argv + argc);
    ostrel::app::AppOptions options;
    std::string error;
    const bool read = ostrel::app::ParseAppOptions(args, options, error);
    if (options.help || options.given.version || (!read && !ostrel::app::HasQtOptions(args)))
        return ostrel::app::AnswerAdminLine(options, error);
    QApplication application(argc, argv);
    // The desktop entry's name, so that the desktop shows its icon and name for the windows.
    QGuiApplication::setDesktopFileName("org.ostrel.ChipcardAdmin");
    return ostrel::app::RunAdmin(application);
}
