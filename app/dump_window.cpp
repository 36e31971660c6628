#include "dump_window.h"

#include "card/classification.h"
#include "card/dump_lines.h"

#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QVBoxLayout>

#include <memory>

namespace ostrel::app {

namespace {

QFont DumpFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(12);
    font.setBold(true);
    return font;
}

QFont InfoFont() {
    QFont font;
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

} // namespace

DumpWindow::DumpWindow(const reader::SharedState& state, JournalCheck journalCheck, QWidget* parent)
    : QWidget(parent), lstDump_(new QListWidget(this)), lblInfo_(new QLabel(this)),
      check_(journalCheck.waiting) {
    setObjectName("frmDump");
    setWindowTitle(kCaption);

    lstDump_->setObjectName("lstDump");
    lstDump_->setFont(DumpFont());
    lblInfo_->setObjectName("lblInfo");
    lblInfo_->setFont(InfoFont());
    QPalette red = lblInfo_->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblInfo_->setPalette(red);
    lblInfo_->setTextFormat(Qt::PlainText);

    lstDump_->clear();
    lblInfo_->setText(QString::fromStdString(state.InfoMessage));
    for (const std::string& line : card::DumpLines(state.CardImage)) {
        lstDump_->addItem(QString::fromStdString(line));
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstDump_, 1);
    layout->addWidget(lblInfo_);

    // Only a card of this system's format holds a serial the journal may know.
    if (!journalCheck.check || state.InfoMessage != card::kTextValid)
        return;
    auto checked = std::make_shared<workflows::CardCheck>();
    // Told by the checking thread that it ended: the answer is shown on the window's thread. The
    // event dies with the window, which ends that thread first.
    check_.onEnded = [this] {
        QMetaObject::invokeMethod(
            this, [this] { check_.Poll(); }, Qt::QueuedConnection);
    };
    check_.Start([check = std::move(journalCheck.check), image = state.CardImage,
                  checked] { *checked = check(image); },
                 [this, verdict = state.InfoMessage, checked] {
                     const std::string said = checked->read ? checked->Text() : std::string();
                     if (!said.empty())
                         lblInfo_->setText(QString::fromStdString(verdict + " — " + said));
                 });
}

DumpWindow::~DumpWindow() {
    // The card is gone: its check is not worth the journal's whole time limit.
    check_.CallOff();
}

} // namespace ostrel::app
