#include "app_options.h"
#include "main_kestrix.h"
#include "reader/reader_factory.h"
#include "simulated_reader_window.h"
#include "workflow_factories.h"

#include <QApplication>

#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    QApplication application(argc, argv); // takes Qt's own options out of argv
    const std::vector<std::string> args(argv + 1, argv + argc);
    ostrel::app::AppOptions options;
    std::string error;
    if (!ostrel::app::ParseAppOptions(args, options, error)) {
        std::cerr << "ostrel-admin : " << error << "\n" << ostrel::app::kAdminUsage;
        return 2;
    }
    if (options.help) {
        std::cout << ostrel::app::kAdminUsage;
        return 0;
    }
    ostrel::reader::ChosenReader chosen;
    if (!ostrel::reader::CreateReader(options.reader, chosen, error)) {
        std::cerr << "ostrel-admin : " << error << "\n";
        return 1;
    }
    ostrel::reader::SharedState state(*chosen.library);
    ostrel::app::MainKestrix mainWindow(state, ostrel::app::MakeWorkflowFactories(options));
    mainWindow.show();

    std::unique_ptr<ostrel::app::SimulatedReaderWindow> simulatedReader;
    if (chosen.simulator) {
        simulatedReader = std::make_unique<ostrel::app::SimulatedReaderWindow>(*chosen.simulator,
                                                                               chosen.deckFolder);
        simulatedReader->move(mainWindow.frameGeometry().topRight() + QPoint(12, 0));
        simulatedReader->show();
        QObject::connect(&application, &QApplication::lastWindowClosed, simulatedReader.get(),
                         &QWidget::close);
    }
    return application.exec();
}
