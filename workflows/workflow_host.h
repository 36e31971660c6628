#pragma once

#include <string>

namespace ostrel::workflows {

// What a workflow window needs from the main window: locking the card menus while it is open.
class WorkflowHost {
public:
    virtual ~WorkflowHost() = default;
    virtual void EnableMenu(bool enable) = 0;
    // What the open workflow waits for ("journal occupé, attente…"), shown in the status line;
    // empty once it waits no more.
    virtual void ShowWaiting(const std::string& text) { (void)text; }
    // What the operator must know about the journal (opened anew after its file vanished),
    // shown in the status line until it changes; empty for nothing.
    virtual void ShowWarning(const std::string& text) { (void)text; }
};

// What the reader monitor tells the open workflow window.
class CardEvents {
public:
    virtual ~CardEvents() = default;
    virtual void CardInserted() = 0;
    virtual void CardRemoved() = 0;
};

} // namespace ostrel::workflows
