#pragma once

#include "journal/journal.h"

#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QTableWidget;
class QTextEdit;

namespace ostrel::app {

// One card's history: every operation on it, oldest first, and for the chosen one the card's
// 256 bytes before and after side by side in the dump's layout, the bytes that changed marked.
class CardHistoryView : public QWidget {
    Q_OBJECT
public:
    explicit CardHistoryView(journal::Journal* journal, QWidget* parent = nullptr);

    // The history of entry's card with entry chosen; a card that held no serial has only
    // this entry.
    void ShowCardOf(const journal::Entry& entry);

    // Reads the history of the serial as typed.
    void Refresh();

private:
    void ShowEntries(std::int64_t chosenId);
    void ShowBytes();

    journal::Journal* journal_;
    std::vector<journal::Entry> entries_;
    QLineEdit* txtSerial_;
    QTableWidget* lstHistory_;
    QTextEdit* txtBytes_;
    QLabel* lblInfo_;
};

} // namespace ostrel::app
