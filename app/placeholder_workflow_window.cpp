#include "placeholder_workflow_window.h"

#include "twips.h"

#include <QCloseEvent>

namespace ostrel::app {

PlaceholderWorkflowWindow::PlaceholderWorkflowWindow(const QString& caption,
                                                     const QString& objectName,
                                                     reader::SharedState& state,
                                                     bool reader::SharedState::*activeFlag,
                                                     workflows::WorkflowHost& host, QWidget* parent)
    : QWidget(parent), state_(state), activeFlag_(activeFlag), host_(host) {
    setObjectName(objectName);
    setWindowTitle(caption);
    resize(TwipsToPixels(9645), TwipsToPixels(5700));
    // Load: the menus are locked before the flag is raised.
    host_.EnableMenu(false);
    state_.*activeFlag_ = true;
    loaded_ = true;
}

PlaceholderWorkflowWindow::~PlaceholderWorkflowWindow() {
    // Destroyed without being closed: the host may be going away, so only the flag is cleared.
    if (loaded_)
        state_.*activeFlag_ = false;
}

void PlaceholderWorkflowWindow::closeEvent(QCloseEvent* event) {
    if (loaded_) {
        host_.EnableMenu(true);
        state_.*activeFlag_ = false;
        loaded_ = false;
    }
    event->accept();
}

} // namespace ostrel::app
