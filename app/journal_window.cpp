#include "journal_window.h"

#include "base/atomic_file.h"
#include "card_history_view.h"
#include "daily_totals_view.h"
#include "journal/journal_text.h"
#include "journal/local_time.h"
#include "journal/readable_fields.h"
#include "journal_read.h"
#include "operations_model.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <tuple>

#include <memory>

namespace ostrel::app {

namespace {

// The card bytes go to the CSV file, the tooltips and the history; the table shows the rest.
bool IsBytesColumn(const std::string& name) {
    return name == "carte avant" || name == "carte après";
}

// A French spreadsheet reads ";" as its separator, and UTF-8 only after a byte-order mark.
constexpr char kSpreadsheetSeparator = ';';

QLineEdit* DayEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText("AAAA-MM-JJ");
    edit->setMaximumWidth(110);
    return edit;
}

// A choice among texts, the first meaning any.
QComboBox* Choice(const char* name, const QStringList& texts, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(texts);
    return box;
}

} // namespace

JournalWindow::JournalWindow(journal::Journal* journal, base::Waiting* waiting, QWidget* parent)
    : JournalWindow(journal::Writer{journal, {}, {}, {}}, waiting, parent) {}

JournalWindow::JournalWindow(journal::Writer writer, base::Waiting* waiting, QWidget* parent)
    : QWidget(parent), journal_(writer.journal), tabs_(new QTabWidget(this)),
      txtSerial_(new QLineEdit(this)), txtFrom_(DayEdit("txtFromFilter", this)),
      txtUntil_(DayEdit("txtUntilFilter", this)), txtStation_(new QLineEdit(this)),
      cmbOperation_(Choice("cmbOperationFilter",
                           {"toutes", journal::kFormat, journal::kRewrite, journal::kCredit,
                            journal::kToken, journal::kShow, journal::kReplacement, journal::kCheck,
                            journal::kOpposition, journal::kLift},
                           this)),
      cmbOutcome_(
          Choice("cmbOutcomeFilter",
                 {"toutes", journal::kVerified, journal::kWriteFailed, journal::kInterrupted,
                  journal::kRefused, journal::kLocked, journal::kCancelled},
                 this)),
      cmdRefresh_(new QPushButton("A&ctualiser", this)),
      cmdHistory_(new QPushButton("&Historique de la carte", this)),
      cmdExport_(new QPushButton("E&xporter en CSV…", this)), lstJournal_(new QTableView(this)),
      lblInfo_(new QLabel(this)), read_(new JournalRead(waiting, lblInfo_, this)),
      rowRead_(new JournalRead(waiting, lblInfo_, this)),
      model_(new OperationsModel(writer.journal, read_, this)),
      history_(new CardHistoryView(writer, waiting, this)),
      totals_(new DailyTotalsView(writer.journal, waiting, this)) {
    setObjectName("frmJournal");
    setWindowTitle("Journal");
    resize(1000, 560);
    tabs_->setObjectName("tabsJournal");
    txtSerial_->setObjectName("txtSerialFilter");
    txtSerial_->setPlaceholderText("tous");
    txtStation_->setObjectName("txtStationFilter");
    txtStation_->setPlaceholderText("tous");
    cmdRefresh_->setObjectName("cmdRefresh");
    cmdHistory_->setObjectName("cmdHistory");
    cmdExport_->setObjectName("cmdExport");
    lstJournal_->setObjectName("lstJournal");
    lblInfo_->setObjectName("lblInfo");
    lblInfo_->setTextFormat(Qt::PlainText);
    lblInfo_->setWordWrap(true); // a server's refusal is long: it wraps, never cut

    lstJournal_->setModel(model_);
    lstJournal_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstJournal_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstJournal_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstJournal_->verticalHeader()->hide();
    // Rows of one line each: the view measures no row it does not show.
    lstJournal_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const std::vector<std::string> names = journal::ReadableColumnNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        lstJournal_->setColumnHidden(static_cast<int>(i), IsBytesColumn(names[i]));
    model_->onRead = [this](bool ok, const std::string& error) { ShowRead(ok, error); };

    auto* operations = new QWidget(this);
    // Two rows of filters, so that the window fits a small screen's main window.
    auto* filter = new QHBoxLayout;
    auto* choices = new QHBoxLayout;
    auto* label = new QLabel("&Numéro de série :", operations);
    label->setBuddy(txtSerial_);
    filter->addWidget(label);
    filter->addWidget(txtSerial_);
    for (const auto& [text, field, row] :
         {std::tuple<const char*, QWidget*, QHBoxLayout*>{"&Du :", txtFrom_, filter},
          {"au :", txtUntil_, filter},
          {"&Poste :", txtStation_, filter},
          {"&Opération :", cmbOperation_, choices},
          {"Iss&ue :", cmbOutcome_, choices}}) {
        auto* buddy = new QLabel(text, operations);
        buddy->setBuddy(field);
        row->addWidget(buddy);
        row->addWidget(field);
    }
    filter->addStretch();
    choices->addWidget(cmdRefresh_);
    choices->addWidget(cmdHistory_);
    choices->addStretch();
    choices->addWidget(cmdExport_);
    auto* operationsLayout = new QVBoxLayout(operations);
    operationsLayout->addLayout(filter);
    operationsLayout->addLayout(choices);
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
    // A filter read again on every keystroke would read the journal for each: only once typed.
    connect(txtSerial_, &QLineEdit::textChanged, this, &JournalWindow::Refresh);
    for (QLineEdit* edit : {txtFrom_, txtUntil_, txtStation_})
        connect(edit, &QLineEdit::editingFinished, this, &JournalWindow::Refresh);
    for (QComboBox* box : {cmbOperation_, cmbOutcome_})
        connect(box, &QComboBox::currentIndexChanged, this, &JournalWindow::Refresh);
    connect(cmdRefresh_, &QPushButton::clicked, this, [this] {
        Refresh();
        totals_->Refresh();
    });
    connect(cmdExport_, &QPushButton::clicked, this, &JournalWindow::Export);
    connect(cmdHistory_, &QPushButton::clicked, this, &JournalWindow::ShowHistoryOfChosen);
    connect(lstJournal_, &QTableView::activated, this, &JournalWindow::ShowHistoryOfChosen);
    connect(lstJournal_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { cmdHistory_->setEnabled(lstJournal_->selectionModel()->hasSelection()); });
    Refresh();
}

bool JournalWindow::ReadFilter(journal::RowFilter& filter) {
    const QString serial = txtSerial_->text().trimmed();
    if (!serial.isEmpty()) {
        bool number = false;
        const qlonglong value = serial.toLongLong(&number);
        if (!number || value < 0) {
            lblInfo_->setText("Numéro de série : entrez un nombre entier");
            return false;
        }
        filter.serial = value;
    }
    // The days are the operator's: the journal compares UTC times with their local bounds.
    const std::string from = txtFrom_->text().trimmed().toStdString();
    const std::string until = txtUntil_->text().trimmed().toStdString();
    for (const std::string& day : {from, until}) {
        if (!day.empty() && !journal::IsIsoDate(day)) {
            lblInfo_->setText(QString("Jours : entrez une date AAAA-MM-JJ, pas « %1 »")
                                  .arg(QString::fromStdString(day)));
            return false;
        }
    }
    filter.from = from.empty() ? std::string() : journal::LocalDayStart(from);
    filter.before =
        until.empty() ? std::string() : journal::LocalDayStart(journal::DayAfter(until));
    filter.station = txtStation_->text().trimmed().toStdString();
    if (cmbOperation_->currentIndex() > 0)
        filter.operation = cmbOperation_->currentText().toStdString();
    if (cmbOutcome_->currentIndex() > 0)
        filter.outcome = cmbOutcome_->currentText().toStdString();
    return true;
}

void JournalWindow::Refresh() {
    rowRead_->Forget();
    if (!journal_) {
        model_->Clear();
        lblInfo_->setText("Aucun journal");
        return ShowRead(true, {});
    }
    journal::RowFilter filter;
    if (!ReadFilter(filter)) {
        model_->Clear();
        cmdExport_->setEnabled(false);
        return;
    }
    model_->SetFilter(filter);
}

bool JournalWindow::reading() const {
    return read_->pending() || rowRead_->pending() || history_->reading() || totals_->reading();
}

void JournalWindow::ShowRead(bool ok, const std::string& error) {
    if (!ok) {
        lblInfo_->setText(QString::fromStdString(error));
    } else if (journal_) {
        const std::int64_t matching = model_->matching();
        lblInfo_->setText(
            QString("%1 opération(s) — %2 — heures locales ; choisissez une opération pour "
                    "l'historique de sa carte")
                .arg(matching > model_->countCap() ? QString("plus de %1").arg(model_->countCap())
                                                   : QString::number(matching))
                .arg(QString::fromStdString(journal_->Location())));
    }
    if (model_->pagesRead() <= 1)
        lstJournal_->resizeColumnsToContents();
    cmdExport_->setEnabled(model_->rowCount() > 0);
    cmdHistory_->setEnabled(lstJournal_->selectionModel()->hasSelection());
}

void JournalWindow::ShowHistoryOfChosen() {
    const QModelIndexList chosen = lstJournal_->selectionModel()->selectedRows();
    const journal::Entry* row = chosen.isEmpty() ? nullptr : model_->EntryAt(chosen[0].row());
    if (!row)
        return;
    tabs_->setCurrentWidget(history_);
    if (journal::CardSerial(*row) || !journal_)
        return history_->ShowCardOf(*row);
    // A card without a serial shows this operation alone, with its images read now.
    struct Chosen {
        journal::Entry entry;
        bool ok = false;
        std::string error;
    };
    auto chosenRow = std::make_shared<Chosen>();
    chosenRow->entry = *row;
    rowRead_->Start(
        [journal = journal_, chosenRow] {
            journal::Entry& e = chosenRow->entry;
            chosenRow->ok = journal->Images(e.id, e.before, e.after, chosenRow->error);
        },
        [this, chosenRow] {
            if (!chosenRow->ok)
                lblInfo_->setText(QString::fromStdString(chosenRow->error));
            history_->ShowCardOf(chosenRow->entry);
        });
}

void JournalWindow::Export() {
    const QString file = chooseExportFile ? chooseExportFile() : QString();
    if (file.isEmpty() || !journal_)
        return;
    // Every row the filters match, with its card images: read beside the window's thread.
    struct Exported {
        bool ok = false;
        std::vector<journal::Entry> entries;
        std::string error;
    };
    auto exported = std::make_shared<Exported>();
    const journal::RowFilter rows = model_->filter();
    journal::Filter filter;
    filter.serial = rows.serial;
    filter.since = rows.from.substr(0, 10); // the UTC day the first local day starts in
    rowRead_->Start(
        [journal = journal_, filter, rows, exported] {
            exported->ok = journal->List(filter, exported->entries, exported->error);
            std::erase_if(exported->entries,
                          [&](const journal::Entry& e) { return !journal::RowMatches(e, rows); });
            std::stable_sort(exported->entries.begin(), exported->entries.end(),
                             [](const journal::Entry& a, const journal::Entry& b) {
                                 return std::tie(a.time, a.id) > std::tie(b.time, b.id);
                             });
        },
        [this, file, exported] {
            if (!exported->ok) {
                lblInfo_->setText(QString::fromStdString(exported->error));
                return;
            }
            const base::FileResult written = base::WriteFileAtomically(
                file.toStdString(), journal::kUtf8ByteOrderMark +
                                        journal::ToCsv(exported->entries, kSpreadsheetSeparator));
            lblInfo_->setText(written ? QString("%1 opération(s) exportée(s) dans %2")
                                            .arg(exported->entries.size())
                                            .arg(file)
                                      : QString::fromStdString(written.error));
        });
}

} // namespace ostrel::app
