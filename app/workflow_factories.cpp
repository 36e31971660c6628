#include "workflow_factories.h"

#include "placeholder_workflow_window.h"

namespace ostrel::app {

WorkflowFactories MakeWorkflowFactories(const AppOptions&) {
    WorkflowFactories factories;
    factories.format = [](reader::SharedState& state, workflows::WorkflowHost& host) -> QWidget* {
        return new PlaceholderWorkflowWindow("Formatage", "frmFormat", state,
                                             &reader::SharedState::FormatActive, host);
    };
    factories.disposable = [](reader::SharedState& state,
                              workflows::WorkflowHost& host) -> QWidget* {
        return new PlaceholderWorkflowWindow("Programmation carte", "frmDisposable", state,
                                             &reader::SharedState::DisposableActive, host);
    };
    return factories;
}

} // namespace ostrel::app
