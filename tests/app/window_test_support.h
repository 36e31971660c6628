#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

// Child windows closed by the program are deleted at once; those closed by Qt later, so a test
// lets pending deletions happen before looking.
inline void Settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The child window whose content carries objectName, or null.
inline QMdiSubWindow* ChildWindow(const QMdiArea* area, const char* objectName) {
    for (QMdiSubWindow* child : area->subWindowList()) {
        if (child->widget() && child->widget()->objectName() == objectName)
            return child;
    }
    return nullptr;
}
