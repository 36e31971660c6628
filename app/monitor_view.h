#pragma once

#include "workflows/workflow_host.h"

#include <string>

namespace ostrel::app {

// What the reader monitor changes on screen. The main window implements it; tests fake it.
class MonitorView {
public:
    virtual ~MonitorView() = default;

    virtual void setCaption(const std::string& caption) = 0;

    // Loads the dump window afresh, so that it renders CardImage and InfoMessage as they are now.
    virtual void showDump() = 0;
    // Closes and deletes the dump window; nothing when it is not loaded.
    virtual void unloadDump() = 0;

    // The security state of the card the dump shows ("3 essais ; octets protégés : aucun"),
    // told after showDump; unloadDump forgets it. Views that do not show it ignore it.
    virtual void setCardSecurity(const std::string& text) { (void)text; }

    // Shows the welcome window, or brings it to the front when it is already shown.
    virtual void showWelcome() = 0;

    // Brings the open workflow window (formatting first, then disposable) to the front; the
    // window that writes the card must be the one the user sees.
    virtual void showWorkflow() {}

    // The open workflow windows; null when not open.
    virtual workflows::CardEvents* formatWindow() = 0;
    virtual workflows::CardEvents* disposableWindow() = 0;
};

} // namespace ostrel::app
