#include "workflow_factories.h"

#include "workflows/disposable_window.h"
#include "workflows/format_window.h"

namespace ostrel::app {

WorkflowFactories MakeWorkflowFactories(const AppOptions& options) {
    WorkflowFactories factories;
    factories.format = [configFile = options.configFile](
                           reader::SharedState& state, workflows::WorkflowHost& host) -> QWidget* {
        return new workflows::FormatWindow(state, host, configFile);
    };
    factories.disposable = [](reader::SharedState& state,
                              workflows::WorkflowHost& host) -> QWidget* {
        return new workflows::DisposableWindow(state, host);
    };
    return factories;
}

} // namespace ostrel::app
