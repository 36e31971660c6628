#pragma once

#include "journal/journal.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ostrel::app {

// The journal of card operations, read only: newest first, filtered by serial, exported to a
// CSV file for a spreadsheet.
class JournalWindow : public QWidget {
    Q_OBJECT
public:
    // journal null: the window says there is none.
    explicit JournalWindow(journal::Journal* journal, QWidget* parent = nullptr);

    // Reads the journal again with the filter as typed.
    void Refresh();

    // Asks for the CSV file to write; empty when the operator cancels. Tests replace it.
    std::function<QString()> chooseExportFile;

private:
    void Export();
    void ShowEntries();

    journal::Journal* journal_;
    std::vector<journal::Entry> entries_;
    QLineEdit* txtSerial_;
    QPushButton* cmdRefresh_;
    QPushButton* cmdExport_;
    QTableWidget* lstJournal_;
    QLabel* lblInfo_;
};

} // namespace ostrel::app
