#include "journal_window.h"

#include "base/atomic_file.h"
#include "card_history_view.h"
#include "daily_totals_view.h"
#include "journal/journal_text.h"
#include "journal/readable_fields.h"
#include "journal_read.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace ostrel::app {

namespace {

// The card bytes go to the CSV file, the tooltips and the history; the table shows the rest.
bool IsBytesColumn(const std::string& name) {
    return name == "carte avant" || name == "carte après";
}

// A French spreadsheet reads ";" as its separator, and UTF-8 only after a byte-order mark.
constexpr char kSpreadsheetSeparator = ';';

} // namespace

JournalWindow::JournalWindow(journal::Journal* journal, base::Waiting* waiting, QWidget* parent)
    : QWidget(parent), journal_(journal), tabs_(new QTabWidget(this)),
      txtSerial_(new QLineEdit(this)), cmdRefresh_(new QPushButton("A&ctualiser", this)),
      cmdHistory_(new QPushButton("&Historique de la carte", this)),
      cmdExport_(new QPushButton("E&xporter en CSV…", this)), lstJournal_(new QTableWidget(this)),
      lblInfo_(new QLabel(this)), read_(new JournalRead(waiting, lblInfo_, this)),
      history_(new CardHistoryView(journal, waiting, this)),
      totals_(new DailyTotalsView(journal, waiting, this)) {
    setObjectName("frmJournal");
    setWindowTitle("Journal");
    resize(1000, 560);
    tabs_->setObjectName("tabsJournal");
    txtSerial_->setObjectName("txtSerialFilter");
    txtSerial_->setPlaceholderText("tous");
    cmdRefresh_->setObjectName("cmdRefresh");
    cmdHistory_->setObjectName("cmdHistory");
    cmdExport_->setObjectName("cmdExport");
    lstJournal_->setObjectName("lstJournal");
    lblInfo_->setObjectName("lblInfo");
    lblInfo_->setTextFormat(Qt::PlainText);
    lblInfo_->setWordWrap(true); // a server's refusal is long: it wraps, never cut

    lstJournal_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstJournal_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstJournal_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstJournal_->verticalHeader()->hide();
    const std::vector<std::string> names = journal::ReadableColumnNames();
    lstJournal_->setColumnCount(static_cast<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        lstJournal_->setHorizontalHeaderItem(
            static_cast<int>(i), new QTableWidgetItem(QString::fromStdString(names[i])));
        lstJournal_->setColumnHidden(static_cast<int>(i), IsBytesColumn(names[i]));
    }

    auto* operations = new QWidget(this);
    auto* filter = new QHBoxLayout;
    auto* label = new QLabel("&Numéro de série :", operations);
    label->setBuddy(txtSerial_);
    filter->addWidget(label);
    filter->addWidget(txtSerial_);
    filter->addWidget(cmdRefresh_);
    filter->addWidget(cmdHistory_);
    filter->addStretch();
    filter->addWidget(cmdExport_);
    auto* operationsLayout = new QVBoxLayout(operations);
    operationsLayout->addLayout(filter);
    operationsLayout->addWidget(lstJournal_);
    operationsLayout->addWidget(lblInfo_);
    tabs_->addTab(operations, "Opé&rations");
    tabs_->addTab(history_, "H&istorique");
    tabs_->addTab(totals_, "&Totaux");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);

    chooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, "Exporter le journal", "journal.csv",
                                            "CSV (*.csv)");
    };
    totals_->chooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, "Exporter les totaux", "totaux.csv",
                                            "CSV (*.csv)");
    };
    connect(txtSerial_, &QLineEdit::textChanged, this, &JournalWindow::Refresh);
    connect(cmdRefresh_, &QPushButton::clicked, this, [this] {
        Refresh();
        totals_->Refresh();
    });
    connect(cmdExport_, &QPushButton::clicked, this, &JournalWindow::Export);
    connect(cmdHistory_, &QPushButton::clicked, this, &JournalWindow::ShowHistoryOfChosen);
    connect(lstJournal_, &QTableWidget::activated, this, &JournalWindow::ShowHistoryOfChosen);
    connect(lstJournal_, &QTableWidget::itemSelectionChanged, this,
            [this] { cmdHistory_->setEnabled(!lstJournal_->selectedRanges().isEmpty()); });
    Refresh();
}

void JournalWindow::Refresh() {
    if (!journal_) {
        read_->Forget();
        entries_.clear();
        lblInfo_->setText("Aucun journal");
        return ShowEntries();
    }
    journal::Filter filter;
    const QString serial = txtSerial_->text().trimmed();
    if (!serial.isEmpty()) {
        bool number = false;
        const qlonglong value = serial.toLongLong(&number);
        if (!number || value < 0) {
            read_->Forget();
            entries_.clear();
            lblInfo_->setText("Numéro de série : entrez un nombre entier");
            return ShowEntries();
        }
        filter.serial = value;
    }
    struct Listed {
        bool ok = false;
        std::vector<journal::Entry> entries;
        std::string error;
    };
    auto listed = std::make_shared<Listed>();
    read_->Start(
        [journal = journal_, filter, listed] {
            listed->ok = journal->List(filter, listed->entries, listed->error);
        },
        [this, listed] {
            entries_ = std::move(listed->entries);
            lblInfo_->setText(
                listed->ok
                    ? QString("%1 opération(s) — %2 — heures locales ; choisissez une opération "
                              "pour l'historique de sa carte")
                          .arg(entries_.size())
                          .arg(QString::fromStdString(journal_->Location()))
                    : QString::fromStdString(listed->error));
            ShowEntries();
        });
}

bool JournalWindow::reading() const {
    return read_->pending() || history_->reading() || totals_->reading();
}

void JournalWindow::ShowEntries() {
    lstJournal_->setRowCount(static_cast<int>(entries_.size()));
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        const std::vector<std::string> fields = journal::ReadableFields(entries_[row]);
        for (std::size_t column = 0; column < fields.size(); ++column) {
            lstJournal_->setItem(static_cast<int>(row), static_cast<int>(column),
                                 new QTableWidgetItem(QString::fromStdString(fields[column])));
        }
    }
    lstJournal_->resizeColumnsToContents();
    cmdExport_->setEnabled(!entries_.empty());
    cmdHistory_->setEnabled(!lstJournal_->selectedRanges().isEmpty());
}

void JournalWindow::ShowHistoryOfChosen() {
    const QList<QTableWidgetSelectionRange> chosen = lstJournal_->selectedRanges();
    if (chosen.isEmpty() || chosen[0].topRow() >= static_cast<int>(entries_.size()))
        return;
    history_->ShowCardOf(entries_[static_cast<std::size_t>(chosen[0].topRow())]);
    tabs_->setCurrentWidget(history_);
}

void JournalWindow::Export() {
    const QString file = chooseExportFile ? chooseExportFile() : QString();
    if (file.isEmpty())
        return;
    const base::FileResult written = base::WriteFileAtomically(
        file.toStdString(),
        journal::kUtf8ByteOrderMark + journal::ToCsv(entries_, kSpreadsheetSeparator));
    lblInfo_->setText(
        written ? QString("%1 opération(s) exportée(s) dans %2").arg(entries_.size()).arg(file)
                : QString::fromStdString(written.error));
}

} // namespace ostrel::app
