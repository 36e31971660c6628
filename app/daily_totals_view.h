#pragma once

#include "base/waiting.h"
#include "journal/daily_totals.h"

#include <QWidget>

#include <functional>

class QChart;
class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;

namespace ostrel::app {

class JournalRead;

// "Totaux": for a range of local days, what each day saw and the whole range, as a table and a
// bar chart that follows the range; all stations together, each apart, or one alone. The journal
// is read beside the window's thread.
class DailyTotalsView : public QWidget {
    Q_OBJECT
public:
    // waiting: what the journal's waits run within, called off when the view goes.
    explicit DailyTotalsView(journal::Journal* journal, base::Waiting* waiting = nullptr,
                             QWidget* parent = nullptr);

    // Reads the journal again for the range chosen; the table and the chart follow once read.
    void Refresh();

    // A read of the journal runs.
    bool reading() const;

    // The range: the last seven days up to today at first.
    void SetRange(const QDate& since, const QDate& until);

    const journal::Totals& totals() const { return totals_; }

    // The choices of stations, as the list offers them.
    static constexpr const char* kAllStations = "Tous les postes";
    static constexpr const char* kByStation = "Par poste";

    // Asks for the CSV file to write; empty when the operator cancels.
    std::function<QString()> chooseExportFile;

private:
    void Show();
    void ShowTable();
    void ShowChart();
    void Export();
    // The stations seen in the range, the choice kept.
    void ShowStations(const std::vector<std::string>& stations);
    journal::TotalsScope ChosenScope() const;

    journal::Journal* journal_;
    journal::Totals totals_;
    bool byStation_ = false; // the totals shown have the station's column
    QDateEdit* dtSince_;
    QDateEdit* dtUntil_;
    QComboBox* cmbStation_;
    QPushButton* cmdExport_;
    QTableWidget* lstTotals_;
    QChart* chart_;
    QChartView* chartTotals_;
    QLabel* lblInfo_;
    JournalRead* read_;
};

} // namespace ostrel::app
