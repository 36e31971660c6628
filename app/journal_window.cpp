#include "journal_window.h"

#include "base/atomic_file.h"
#include "journal/journal_text.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace ostrel::app {

namespace {

// The card bytes go to the CSV file and the tooltips; the table shows the rest.
constexpr int kShownColumns = 13;
constexpr int kBeforeColumn = 13;
constexpr int kAfterColumn = 14;

} // namespace

JournalWindow::JournalWindow(journal::Journal* journal, QWidget* parent)
    : QWidget(parent), journal_(journal), txtSerial_(new QLineEdit(this)),
      cmdRefresh_(new QPushButton("Actualiser", this)),
      cmdExport_(new QPushButton("Exporter en CSV…", this)), lstJournal_(new QTableWidget(this)),
      lblInfo_(new QLabel(this)) {
    setObjectName("frmJournal");
    setWindowTitle("Journal");
    resize(960, 420);
    txtSerial_->setObjectName("txtSerialFilter");
    txtSerial_->setPlaceholderText("tous");
    cmdRefresh_->setObjectName("cmdRefresh");
    cmdExport_->setObjectName("cmdExport");
    lstJournal_->setObjectName("lstJournal");
    lblInfo_->setObjectName("lblInfo");
    lblInfo_->setTextFormat(Qt::PlainText);

    lstJournal_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstJournal_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstJournal_->verticalHeader()->hide();
    lstJournal_->setColumnCount(kShownColumns);
    QStringList headings;
    for (int i = 0; i < kShownColumns; ++i)
        headings << QString::fromStdString(journal::ColumnNames()[static_cast<std::size_t>(i)]);
    lstJournal_->setHorizontalHeaderLabels(headings);

    auto* filter = new QHBoxLayout;
    filter->addWidget(new QLabel("Numéro de série :", this));
    filter->addWidget(txtSerial_);
    filter->addWidget(cmdRefresh_);
    filter->addStretch();
    filter->addWidget(cmdExport_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(lstJournal_);
    layout->addWidget(lblInfo_);

    chooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, "Exporter le journal", "journal.csv",
                                            "CSV (*.csv)");
    };
    connect(txtSerial_, &QLineEdit::textChanged, this, &JournalWindow::Refresh);
    connect(cmdRefresh_, &QPushButton::clicked, this, &JournalWindow::Refresh);
    connect(cmdExport_, &QPushButton::clicked, this, &JournalWindow::Export);
    Refresh();
}

void JournalWindow::Refresh() {
    entries_.clear();
    if (!journal_) {
        lblInfo_->setText("Aucun journal");
        return ShowEntries();
    }
    journal::Filter filter;
    const QString serial = txtSerial_->text().trimmed();
    if (!serial.isEmpty()) {
        bool number = false;
        const qlonglong value = serial.toLongLong(&number);
        if (!number || value < 0) {
            lblInfo_->setText("Numéro de série : entrez un nombre entier");
            return ShowEntries();
        }
        filter.serial = value;
    }
    std::string error;
    if (!journal_->List(filter, entries_, error)) {
        lblInfo_->setText(QString::fromStdString(error));
        return ShowEntries();
    }
    lblInfo_->setText(QString("%1 opération(s) — %2")
                          .arg(entries_.size())
                          .arg(QString::fromStdString(journal_->Location())));
    ShowEntries();
}

void JournalWindow::ShowEntries() {
    lstJournal_->setRowCount(static_cast<int>(entries_.size()));
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        const std::vector<std::string> fields = journal::EntryFields(entries_[row]);
        const QString bytes = "avant : " + QString::fromStdString(fields[kBeforeColumn]) +
                              "\naprès : " + QString::fromStdString(fields[kAfterColumn]);
        for (int column = 0; column < kShownColumns; ++column) {
            auto* item = new QTableWidgetItem(
                QString::fromStdString(fields[static_cast<std::size_t>(column)]));
            item->setToolTip(bytes);
            lstJournal_->setItem(static_cast<int>(row), column, item);
        }
    }
    lstJournal_->resizeColumnsToContents();
    cmdExport_->setEnabled(!entries_.empty());
}

void JournalWindow::Export() {
    const QString file = chooseExportFile ? chooseExportFile() : QString();
    if (file.isEmpty())
        return;
    const base::FileResult written =
        base::WriteFileAtomically(file.toStdString(), journal::ToCsv(entries_));
    lblInfo_->setText(
        written ? QString("%1 opération(s) exportée(s) dans %2").arg(entries_.size()).arg(file)
                : QString::fromStdString(written.error));
}

} // namespace ostrel::app
