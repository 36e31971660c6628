#include "dump_window.h"

#include "card/dump_lines.h"

#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

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

DumpWindow::DumpWindow(const reader::SharedState& state, QWidget* parent)
    : QWidget(parent), lstDump_(new QListWidget(this)), lblInfo_(new QLabel(this)) {
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
}

} // namespace ostrel::app
