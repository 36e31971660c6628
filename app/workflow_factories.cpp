#include "workflow_factories.h"

#include "card_history_view.h"
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
    factories.replacement =
        [format = factories.format](reader::SharedState& state, workflows::WorkflowHost& host,
                                    const workflows::Replacement& replacement) -> QWidget* {
        auto* window = static_cast<workflows::FormatWindow*>(format(state, host));
        window->SetReplacement(replacement);
        return window;
    };
    factories.disposable = [workflowOptions](reader::SharedState& state,
                                             workflows::WorkflowHost& host) -> QWidget* {
        return new workflows::DisposableWindow(state, host, workflowOptions);
    };
    factories.journal = [journal, waiting](ReplaceCard replace) -> QWidget* {
        auto* window = new JournalWindow(journal, waiting);
        window->history()->replaceCard = std::move(replace);
        return window;
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
