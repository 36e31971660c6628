#pragma once

#include "base/waiting.h"
#include "journal/journal.h"

#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QTableWidget;
class QTextEdit;

namespace ostrel::app {

class JournalRead;

// One card's history: every operation on it, oldest first, and for the chosen one the card's
// 256 bytes before and after side by side in the dump's layout, the bytes that changed marked.
// The journal is read beside the window's thread.
class CardHistoryView : public QWidget {
    Q_OBJECT
public:
    // waiting: what the journal's waits run within, called off when the view goes.
    explicit CardHistoryView(journal::Journal* journal, base::Waiting* waiting = nullptr,
                             QWidget* parent = nullptr);

    // The history of entry's card with entry chosen, once read; a card that held no serial has
    // only this entry.
    void ShowCardOf(const journal::Entry& entry);

    // Reads the history of the serial as typed.
    void Refresh();

    // A read of the journal runs.
    bool reading() const;

private:
    // Reads serial's history, then shows it with chosenId chosen (0: the newest).
    void Read(std::int64_t serial, std::int64_t chosenId);
    void ShowEntries(std::int64_t chosenId);
    void ShowBytes();

    journal::Journal* journal_;
    std::vector<journal::Entry> entries_;
    QLineEdit* txtSerial_;
    QTableWidget* lstHistory_;
    QTextEdit* txtBytes_;
    QLabel* lblInfo_;
    JournalRead* read_;
};

} // namespace ostrel::app
