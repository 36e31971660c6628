#pragma once

namespace ostrel::workflows {

// What a workflow window needs from the main window: locking the card menus while it is open.
class WorkflowHost {
public:
    virtual ~WorkflowHost() = default;
    virtual void EnableMenu(bool enable) = 0;
};

// What the reader monitor tells the open workflow window.
class CardEvents {
public:
    virtual ~CardEvents() = default;
    virtual void CardInserted() = 0;
    virtual void CardRemoved() = 0;
};

} // namespace ostrel::workflows
