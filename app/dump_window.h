#pragma once

#include "reader/shared_state.h"

#include <QWidget>

class QLabel;
class QListWidget;

namespace ostrel::app {

// frmDump: the card just read as sixteen lines of hexadecimal text, and the verdict below.
// Built once, when loaded: the monitor loads a new one for every card.
class DumpWindow : public QWidget {
    Q_OBJECT
public:
    explicit DumpWindow(const reader::SharedState& state, QWidget* parent = nullptr);

    static constexpr const char* kCaption = "Card Dump";

private:
    QListWidget* lstDump_;
    QLabel* lblInfo_;
};

} // namespace ostrel::app
