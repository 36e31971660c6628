#pragma once

#include "base/waiting.h"
#include "journal/journal.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace ostrel::app {

class CardHistoryView;
class DailyTotalsView;
class JournalRead;

// The journal of card operations, read only. "Opérations": newest first, filtered by serial,
// exported to a CSV file for a spreadsheet; "Historique": one card's operations and its bytes
// before and after each; "Totaux": each day's totals, with a chart.
class JournalWindow : public QWidget {
    Q_OBJECT
public:
    // journal null: the window says there is none. waiting: what the journal's waits run
    // within, called off when the window goes while it reads.
    explicit JournalWindow(journal::Journal* journal, base::Waiting* waiting = nullptr,
                           QWidget* parent = nullptr);

    // Reads the journal again with the filter as typed; the table fills once it is read.
    void Refresh();

    // A read of the journal runs, in this window or one of its views.
    bool reading() const;

    // Asks for the CSV file to write; empty when the operator cancels. Tests replace it.
    std::function<QString()> chooseExportFile;

private:
    void Export();
    void ShowEntries();
    void ShowHistoryOfChosen();

    journal::Journal* journal_;
    std::vector<journal::Entry> entries_;
    QTabWidget* tabs_;
    QLineEdit* txtSerial_;
    QPushButton* cmdRefresh_;
    QPushButton* cmdHistory_;
    QPushButton* cmdExport_;
    QTableWidget* lstJournal_;
    QLabel* lblInfo_;
    JournalRead* read_;
    CardHistoryView* history_;
    DailyTotalsView* totals_;
};

} // namespace ostrel::app
