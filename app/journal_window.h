#pragma once

#include "base/waiting.h"
#include "journal/journal.h"

#include <QWidget>

#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTabWidget;

namespace ostrel::app {

class CardHistoryView;
class DailyTotalsView;
class JournalRead;
class OperationsModel;

// The journal of card operations, read only. "Opérations": newest first, a page at a time as
// the table scrolls, filtered by serial, days, station, operation and outcome, exported to a
// CSV file for a spreadsheet; "Historique": one card's operations and its bytes
// before and after each; "Totaux": each day's totals, with a chart.
class JournalWindow : public QWidget {
    Q_OBJECT
public:
    // journal null: the window says there is none. waiting: what the journal's waits run
    // within, called off when the window goes while it reads.
    explicit JournalWindow(journal::Journal* journal, base::Waiting* waiting = nullptr,
                           QWidget* parent = nullptr);
    // writer: who records the oppositions made from the card history.
    explicit JournalWindow(journal::Writer writer, base::Waiting* waiting = nullptr,
                           QWidget* parent = nullptr);

    // Reads the journal again with the filters as typed; the table fills once it is read.
    void Refresh();

    OperationsModel* operations() const { return model_; }
    CardHistoryView* history() const { return history_; }

    // A read of the journal runs, in this window or one of its views.
    bool reading() const;

    // Asks for the CSV file to write; empty when the operator cancels. Tests replace it.
    std::function<QString()> chooseExportFile;

private:
    void Export();
    void ShowRead(bool ok, const std::string& error);
    void ShowHistoryOfChosen();
    // The filters as typed; false with the reason shown when one is not understood.
    bool ReadFilter(journal::RowFilter& filter);

    journal::Journal* journal_;
    QTabWidget* tabs_;
    QLineEdit* txtSerial_;
    QLineEdit* txtFrom_;
    QLineEdit* txtUntil_;
    QLineEdit* txtStation_;
    QComboBox* cmbOperation_;
    QComboBox* cmbOutcome_;
    QPushButton* cmdRefresh_;
    QPushButton* cmdHistory_;
    QPushButton* cmdExport_;
    QTableView* lstJournal_;
    QLabel* lblInfo_;
    JournalRead* read_;
    JournalRead* rowRead_; // a chosen row's images, an export
    OperationsModel* model_;
    CardHistoryView* history_;
    DailyTotalsView* totals_;
};

} // namespace ostrel::app
