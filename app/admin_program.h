#pragma once

#include <functional>

class QApplication;

namespace ostrel::app {

class MainKestrix;

// ostrel-admin on the application's arguments, until its main window closes. started, when
// given, sees the main window once it was asked to show, before the event loop runs (the
// start-up benchmark watches for its first paint).
int RunAdmin(QApplication& application, const std::function<void(MainKestrix&)>& started = {});

} // namespace ostrel::app
