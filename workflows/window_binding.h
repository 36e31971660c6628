#pragma once

#include "workflow_host.h"
#include "workflow_widgets.h"

namespace ostrel::workflows {

// What both workflow windows do around their workflow: the indicator repainted as soon as the
// workflow starts handling a card, the card menus locked while the workflow is loaded, and the
// workflow unloaded once, when the window closes or goes.
template <class Workflow> class WindowBinding {
public:
    WindowBinding(Workflow& workflow, WorkflowHost& host) : workflow_(workflow), host_(host) {}
    // Destroyed without being closed: the host may be going away, so it is not called.
    ~WindowBinding() {
        if (loaded_)
            workflow_.Unload();
    }
    WindowBinding(const WindowBinding&) = delete;
    WindowBinding& operator=(const WindowBinding&) = delete;

    // The card menus are locked before the window takes the card events.
    void Load(LedIndicator* indicator) {
        workflow_.onHandling = [this, indicator] {
            indicator->setIndicator(workflow_.indicator());
            indicator->repaint();
        };
        host_.EnableMenu(false);
        workflow_.Load();
        loaded_ = true;
    }

    // The window's closeEvent.
    void Close() {
        if (!loaded_)
            return;
        host_.EnableMenu(true);
        workflow_.Unload();
        loaded_ = false;
    }

private:
    Workflow& workflow_;
    WorkflowHost& host_;
    bool loaded_ = false;
};

} // namespace ostrel::workflows
