#pragma once

#include "reader/shared_state.h"
#include "workflows/workflow_host.h"

#include <QWidget>

namespace ostrel::app {

// An empty workflow window: it locks the card menus and raises its flag while loaded, and
// ignores the card, until the real window takes its place.
class PlaceholderWorkflowWindow : public QWidget, public workflows::CardEvents {
    Q_OBJECT
public:
    PlaceholderWorkflowWindow(const QString& caption, const QString& objectName,
                              reader::SharedState& state, bool reader::SharedState::*activeFlag,
                              workflows::WorkflowHost& host, QWidget* parent = nullptr);
    ~PlaceholderWorkflowWindow() override;

    void CardInserted() override {}
    void CardRemoved() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    reader::SharedState& state_;
    bool reader::SharedState::*activeFlag_;
    workflows::WorkflowHost& host_;
    bool loaded_ = false;
};

} // namespace ostrel::app
