#pragma once

#include "base/beside_task.h"
#include "reader/shared_state.h"
#include "workflows/card_check.h"

#include <QWidget>

#include <functional>

class QLabel;
class QListWidget;

namespace ostrel::app {

// What the journal says of a formatted card: asked beside the window's thread, since the
// journal may be held or its server slow.
struct JournalCheck {
    std::function<workflows::CardCheck(const card::CardMemory&)> check;
    base::Waiting* waiting = nullptr; // where the check's waits run, called off with the window
};

// frmDump: the card just read as sixteen lines of hexadecimal text, and the verdict below.
// Built once, when loaded: the monitor loads a new one for every card. A card of this system's
// format is checked against the journal, and what the journal says follows the verdict.
class DumpWindow : public QWidget {
    Q_OBJECT
public:
    explicit DumpWindow(const reader::SharedState& state, JournalCheck journalCheck = {},
                        QWidget* parent = nullptr);
    ~DumpWindow() override;

    // The journal's answer is awaited.
    bool checking() const { return check_.pending(); }

    static constexpr const char* kCaption = "Card Dump";

private:
    QListWidget* lstDump_;
    QLabel* lblInfo_;
    base::BesideTask check_; // last: it ends before the labels go
};

} // namespace ostrel::app
