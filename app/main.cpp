#include "admin_program.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return ostrel::app::RunAdmin(application);
}
