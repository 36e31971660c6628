#pragma once

#include "workflow_host.h"
#include "workflow_options.h"
#include "workflow_widgets.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>

namespace ostrel::workflows {

// A window's workflow waits for the journal and the configuration beside the window's thread.
inline WorkflowOptions WaitingBeside(WorkflowOptions options) {
    options.waitBeside = true;
    return options;
}

// What both workflow windows do around their workflow: the indicator repainted as soon as the
// workflow starts handling a card, the card menus locked while the workflow is loaded, an
// operation that waits for another program followed without blocking the window, and the
// workflow unloaded once, when the window closes or goes.
template <class Workflow> class WindowBinding {
public:
    // A wait that ends within this goes on at once, so that a quick journal shows nothing.
    static constexpr std::chrono::milliseconds kGrace{50};
    static constexpr int kPollMilliseconds = 50;

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

    // After the window handed the workflow a card or a click: show runs now and, if the
    // workflow waits for another program, every poll until it is done; the status line says
    // what it waits for meanwhile.
    void Follow(QWidget* window, std::function<void()> show) {
        show_ = std::move(show);
        workflow_.Poll(kGrace);
        if (!timer_) {
            timer_ = new QTimer(window);
            timer_->setInterval(kPollMilliseconds);
            QObject::connect(timer_, &QTimer::timeout, window, [this] { Step(); });
            // Told by the waiting thread that the wait ended: polled at once, on the window's.
            workflow_.setOnWaitEnded([this, timer = QPointer<QTimer>(timer_)] {
                QMetaObject::invokeMethod(
                    timer, [this] { Step(); }, Qt::QueuedConnection);
            });
        }
        Step();
    }

    // What the workflow waits for, empty when it does not.
    std::string waitingText() const {
        return workflow_.pending() && workflow_.waiting() ? workflow_.waiting()->what()
                                                          : std::string();
    }

    // The window's closeEvent.
    void Close() {
        if (timer_)
            timer_->stop();
        if (!loaded_)
            return;
        host_.ShowWaiting({});
        host_.EnableMenu(true);
        workflow_.Unload();
        loaded_ = false;
    }

private:
    void Step() {
        while (workflow_.Poll(kGrace)) {
        }
        const bool waiting = workflow_.pending();
        if (waiting)
            timer_->start();
        else
            timer_->stop();
        host_.ShowWaiting(waitingText());
        host_.ShowWarning(workflow_.warning());
        if (show_)
            show_();
    }

    Workflow& workflow_;
    WorkflowHost& host_;
    bool loaded_ = false;
    QTimer* timer_ = nullptr; // a child of the window
    std::function<void()> show_;
};

} // namespace ostrel::workflows
