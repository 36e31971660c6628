#pragma once

#include "app_options.h"
#include "reader/shared_state.h"
#include "workflows/workflow_host.h"

#include <QWidget>

#include <functional>

namespace ostrel::app {

// Creates and loads a workflow window. The widget also implements workflows::CardEvents.
using WorkflowWindowFactory =
    std::function<QWidget*(reader::SharedState&, workflows::WorkflowHost&)>;

struct WorkflowFactories {
    WorkflowWindowFactory format;     // "Formatage"
    WorkflowWindowFactory disposable; // "Programmation carte"
};

// The windows the menus open; the options carry the configuration file they read.
WorkflowFactories MakeWorkflowFactories(const AppOptions& options);

} // namespace ostrel::app
