#include "card_history_view.h"

#include "journal/card_history.h"
#include "journal/readable_fields.h"
#include "journal_read.h"
#include "opposition_dialog.h"
#include "workflows/opposition.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace ostrel::app {

namespace {

// The card bytes have a pane of their own.
bool IsBytesColumn(const std::string& name) {
    return name == "carte avant" || name == "carte après";
}

QString MarkedLine(const std::string& line, const std::array<bool, 16>& changed) {
    QString html;
    std::size_t from = 0;
    for (std::size_t c = 0; c < changed.size(); ++c) {
        if (!changed[c])
            continue;
        const auto at = static_cast<std::size_t>(journal::DumpColumnOffset(static_cast<int>(c)));
        html += QString::fromStdString(line.substr(from, at - from)).toHtmlEscaped();
        html += "<span class=\"changed\" style=\"background-color:#ffd54f; font-weight:bold\">" +
                QString::fromStdString(line.substr(at, 2)) + "</span>";
        from = at + 2;
    }
    return html + QString::fromStdString(line.substr(from)).toHtmlEscaped();
}

// The comparison of one entry's bytes as rich text: two columns, the changed bytes marked.
QString BytesHtml(const journal::Entry& entry) {
    const journal::BytesComparison comparison = journal::CompareBytes(entry);
    const auto side = [](const std::string& line, const std::array<bool, 16>& changed) {
        return line.empty() ? QString() : MarkedLine(line, changed);
    };
    const bool beforeKnown = !comparison.rows[0].before.empty();
    const bool afterKnown = !comparison.rows[0].after.empty();
    QString html = "<table cellspacing=\"0\" cellpadding=\"2\"><tr><th align=\"left\">" +
                   QString(beforeKnown ? "avant" : "avant : inconnu") +
                   "</th><th width=\"24\"></th><th align=\"left\">" +
                   QString(afterKnown ? "après" : "après : inconnu") + "</th></tr>";
    for (const journal::BytesRow& row : comparison.rows) {
        html += "<tr><td><pre>" + side(row.before, row.changed) + "</pre></td><td></td><td><pre>" +
                side(row.after, row.changed) + "</pre></td></tr>";
    }
    html += "</table>";
    if (beforeKnown && afterKnown)
        html += QString("<p>%1 octet(s) changé(s)</p>").arg(comparison.changedBytes);
    return html;
}

} // namespace

CardHistoryView::CardHistoryView(journal::Writer writer, base::Waiting* waiting, QWidget* parent)
    : QWidget(parent), writer_(std::move(writer)), txtSerial_(new QLineEdit(this)),
      cmdOppose_(new QPushButton("Faire oppo&sition…", this)),
      cmdLift_(new QPushButton("Le&ver l'opposition", this)),
      cmdReplace_(new QPushButton("Re&mplacer la carte…", this)),
      lstHistory_(new QTableWidget(this)), txtBytes_(new QTextEdit(this)),
      lblInfo_(new QLabel(this)), read_(new JournalRead(waiting, lblInfo_, this)),
      act_(new JournalRead(waiting, lblInfo_, this)) {
    setObjectName("viewHistory");
    txtSerial_->setObjectName("txtHistorySerial");
    cmdOppose_->setObjectName("cmdOppose");
    cmdLift_->setObjectName("cmdLift");
    cmdReplace_->setObjectName("cmdReplace");
    lstHistory_->setObjectName("lstHistory");
    txtBytes_->setObjectName("txtBytes");
    lblInfo_->setObjectName("lblHistoryInfo");
    lblInfo_->setTextFormat(Qt::PlainText);
    lblInfo_->setWordWrap(true); // a server's refusal is long: it wraps, never cut
    txtBytes_->setReadOnly(true);
    txtBytes_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    lstHistory_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstHistory_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstHistory_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstHistory_->verticalHeader()->hide();
    const std::vector<std::string> names = journal::ReadableColumnNames();
    lstHistory_->setColumnCount(static_cast<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        lstHistory_->setHorizontalHeaderItem(
            static_cast<int>(i), new QTableWidgetItem(QString::fromStdString(names[i])));
        lstHistory_->setColumnHidden(static_cast<int>(i), IsBytesColumn(names[i]));
    }

    auto* serial = new QHBoxLayout;
    auto* label = new QLabel("&Numéro de série :", this);
    label->setBuddy(txtSerial_);
    serial->addWidget(label);
    serial->addWidget(txtSerial_);
    serial->addWidget(cmdOppose_);
    serial->addWidget(cmdLift_);
    serial->addWidget(cmdReplace_);
    serial->addStretch();
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(lstHistory_);
    split->addWidget(txtBytes_);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(serial);
    layout->addWidget(split, 1);
    layout->addWidget(lblInfo_);

    askReason = [this](std::int64_t serial) { return AskOppositionReason(this, serial); };
    confirm = [this](const QString& question) {
        return QMessageBox::question(this, QGuiApplication::applicationDisplayName(), question) ==
               QMessageBox::Yes;
    };
    tell = [this](const QString& text) {
        QMessageBox::warning(this, QGuiApplication::applicationDisplayName(), text);
    };

    connect(txtSerial_, &QLineEdit::textEdited, this, &CardHistoryView::Refresh);
    connect(lstHistory_, &QTableWidget::itemSelectionChanged, this, &CardHistoryView::ShowBytes);
    connect(cmdOppose_, &QPushButton::clicked, this, &CardHistoryView::Oppose);
    connect(cmdLift_, &QPushButton::clicked, this, &CardHistoryView::Lift);
    connect(cmdReplace_, &QPushButton::clicked, this, [this] {
        if (serial_)
            Replace(*serial_, false);
    });
    Refresh();
}

void CardHistoryView::ShowCardOf(const journal::Entry& entry) {
    const std::optional<std::int64_t> serial = journal::CardSerial(entry);
    if (!serial) {
        read_->Forget();
        serial_.reset();
        ShowStanding();
        txtSerial_->clear();
        entries_ = {entry};
        lblInfo_->setText("Carte sans numéro de série : cette opération seule");
        return ShowEntries(entry.id);
    }
    txtSerial_->setText(QString::number(*serial));
    if (writer_.journal)
        return Read(*serial, entry.id);
    Refresh();
}

void CardHistoryView::Refresh() {
    const QString text = txtSerial_->text().trimmed();
    bool number = false;
    const qlonglong serial = text.toLongLong(&number);
    if (writer_.journal && number && serial >= 0)
        return Read(serial, 0);
    read_->Forget();
    entries_.clear();
    serial_.reset();
    ShowStanding();
    if (text.isEmpty() || !writer_.journal) {
        lblInfo_->setText(writer_.journal ? "Entrez un numéro de série, ou choisissez une opération"
                                          : "Aucun journal");
    } else {
        lblInfo_->setText("Numéro de série : entrez un nombre entier");
    }
    ShowEntries(0);
}

bool CardHistoryView::reading() const {
    return read_->pending() || act_->pending();
}

void CardHistoryView::Read(std::int64_t serial, std::int64_t chosenId) {
    struct History {
        bool ok = false;
        std::vector<journal::Entry> entries;
        std::string error;
    };
    auto history = std::make_shared<History>();
    // Until it is read, no button acts on the card shown before.
    serial_.reset();
    ShowStanding();
    read_->Start(
        [journal = writer_.journal, serial, history] {
            history->ok =
                journal::ReadCardHistory(*journal, serial, history->entries, history->error);
        },
        [this, serial, chosenId, history] {
            entries_ = std::move(history->entries);
            lblInfo_->setText(history->ok
                                  ? QString("Carte %1 : %2 opération(s), la plus ancienne d'abord")
                                        .arg(serial)
                                        .arg(entries_.size())
                                  : QString::fromStdString(history->error));
            if (history->ok) {
                serial_ = serial;
                standing_ = journal::StandingOf(serial, entries_);
                // The rows do not show an opposition's reason: the line under them does.
                if (standing_.opposition)
                    lblInfo_->setText(
                        lblInfo_->text() + " — " +
                        QString::fromStdString(journal::OppositionText(*standing_.opposition)));
            }
            ShowStanding();
            ShowEntries(chosenId != 0 || entries_.empty() ? chosenId : entries_.back().id);
        });
}

void CardHistoryView::ShowEntries(std::int64_t chosenId) {
    const QSignalBlocker quiet(lstHistory_);
    lstHistory_->clearSelection();
    lstHistory_->setRowCount(static_cast<int>(entries_.size()));
    int chosenRow = -1;
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        const std::vector<std::string> fields = journal::ReadableFields(entries_[row]);
        for (std::size_t column = 0; column < fields.size(); ++column) {
            lstHistory_->setItem(static_cast<int>(row), static_cast<int>(column),
                                 new QTableWidgetItem(QString::fromStdString(fields[column])));
        }
        if (entries_[row].id == chosenId)
            chosenRow = static_cast<int>(row);
    }
    lstHistory_->resizeColumnsToContents();
    if (chosenRow >= 0) {
        lstHistory_->selectRow(chosenRow);
        lstHistory_->scrollToItem(lstHistory_->item(chosenRow, 0));
    }
    ShowBytes();
}

void CardHistoryView::ShowBytes() {
    const QList<QTableWidgetSelectionRange> chosen = lstHistory_->selectedRanges();
    if (chosen.isEmpty() || chosen[0].topRow() >= static_cast<int>(entries_.size())) {
        txtBytes_->clear();
        return;
    }
    txtBytes_->setHtml(BytesHtml(entries_[static_cast<std::size_t>(chosen[0].topRow())]));
}

void CardHistoryView::ShowStanding() {
    if (!serial_)
        standing_ = {};
    const bool acting = act_->pending();
    const bool opposed = standing_.opposition.has_value();
    // Only one of the two applies to a card.
    cmdOppose_->setVisible(!opposed);
    cmdLift_->setVisible(opposed);
    cmdOppose_->setEnabled(serial_ && !acting);
    cmdLift_->setEnabled(serial_ && !acting);
    cmdReplace_->setEnabled(serial_ && standing_.known && !acting);
}

namespace {

struct Answer {
    bool ok = false;
    std::string error;
};

} // namespace

void CardHistoryView::Oppose() {
    if (!serial_ || !askReason)
        return;
    const std::int64_t serial = *serial_;
    const std::optional<QString> reason = askReason(serial);
    if (!reason)
        return;
    auto answer = std::make_shared<Answer>();
    act_->Start([writer = writer_, serial, reason = reason->toStdString(),
                 answer] { answer->ok = workflows::Oppose(writer, serial, reason, answer->error); },
                [this, answer] { Done(answer->ok, answer->error); });
    ShowStanding();
}

void CardHistoryView::Lift() {
    if (!serial_)
        return;
    auto answer = std::make_shared<Answer>();
    act_->Start([writer = writer_, serial = *serial_,
                 answer] { answer->ok = workflows::LiftOpposition(writer, serial, answer->error); },
                [this, answer] { Done(answer->ok, answer->error); });
    ShowStanding();
}

void CardHistoryView::Done(bool ok, const std::string& error) {
    // A server refuses a station that may not lift: its reason is the message.
    if (!ok && tell)
        tell(QString::fromStdString(error));
    Refresh();
}

void CardHistoryView::Replace(std::int64_t serial, bool force) {
    struct Prepared {
        bool ok = false;
        bool confirmable = false; // refused only for an opposition of another reason
        workflows::Replacement replacement;
        std::string refusal;
    };
    auto prepared = std::make_shared<Prepared>();
    act_->Start(
        [journal = writer_.journal, serial, force, prepared] {
            prepared->ok =
                workflows::PrepareReplacement(*journal, serial, force, prepared->replacement,
                                              prepared->refusal, &prepared->confirmable);
        },
        [this, serial, prepared] {
            const QString refusal = QString::fromStdString(prepared->refusal);
            if (prepared->confirmable) {
                if (confirm &&
                    confirm(refusal +
                            QString("\n\nRemplacer quand même la carte %1 ?").arg(serial)))
                    return Replace(serial, true);
            } else if (!prepared->ok) {
                if (tell)
                    tell(refusal);
            } else {
                std::string why = "le remplacement ne peut pas s'ouvrir ici";
                if ((!replaceCard || !replaceCard(prepared->replacement, why)) && tell)
                    tell(QString::fromStdString(why));
            }
            Refresh();
        });
    ShowStanding();
}

} // namespace ostrel::app
