#include "workflow_factories.h"

#include "journal_window.h"
#include "workflows/disposable_window.h"
#include "workflows/format_window.h"

namespace ostrel::app {

WorkflowFactories MakeWorkflowFactories(const AppOptions& options, journal::Writer journal,
                                        base::Waiting* waiting, workflows::SerialSeries* series) {
    workflows::WorkflowOptions workflowOptions;
    workflowOptions.journal = journal;
    workflowOptions.waiting = waiting;
    WorkflowFactories factories;
    factories.format = [configFile = options.configFile, workflowOptions, series](
                           reader::SharedState& state, workflows::WorkflowHost& host) -> QWidget* {
        if (series)
            return new workflows::FormatWindow(state, host, *series, workflowOptions);
        return new workflows::FormatWindow(state, host, configFile, workflowOptions);
    };
    factories.disposable = [workflowOptions](reader::SharedState& state,
                                             workflows::WorkflowHost& host) -> QWidget* {
        return new workflows::DisposableWindow(state, host, workflowOptions);
    };
    factories.journal = [records = journal.journal, waiting]() -> QWidget* {
        return new JournalWindow(records, waiting);
    };
    if (journal.journal) {
        factories.checkCard.check = [journal](const card::CardMemory& image) {
            return workflows::CheckCard(journal, image);
        };
        factories.checkCard.waiting = waiting;
    }
    return factories;
}

} // namespace ostrel::app
