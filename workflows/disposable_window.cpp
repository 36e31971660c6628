#include "disposable_window.h"

#include <QCloseEvent>

namespace ostrel::workflows {

namespace {

template <typename Widget> Widget* Placed(Widget* widget, const char* objectName, QRect where) {
    widget->setObjectName(objectName);
    widget->setGeometry(where);
    return widget;
}

QLabel* PlacedLabel(const char* objectName, const QString& text, QRect where, QWidget* parent) {
    auto* label = Placed(new QLabel(text, parent), objectName, where);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

DisposableWindow::DisposableWindow(reader::SharedState& state, WorkflowHost& host,
                                   WorkflowOptions options, QWidget* parent)
    : QWidget(parent), workflow_(state, WaitingBeside(std::move(options))),
      binding_(workflow_, host) {
    setObjectName("frmDisposable");
    setWindowTitle(QString());
    // Maximised in the main window it keeps its controls where the layout puts them.
    resize(TwipsRect(0, 0, 9225, 6750).size());
    setMinimumSize(size());
    setFont(WindowFont());

    Placed(MakeHeading("Ecriture carte", this), "Label5", TwipsRect(0, 120, 9135, 495));

    auto* frame1 =
        Placed(new QGroupBox("carte Jeton", this), "Frame1", TwipsRect(360, 1800, 4695, 2535));
    FitToWidth(PlacedLabel("Label2", "programme :", TwipsRect(240, 600, 855, 255), frame1));
    txtprogramme_ = Placed(new QLineEdit(frame1), "txtprogramme", TwipsRect(2160, 600, 1215, 285));
    QFont bold = txtprogramme_->font();
    bold.setBold(true);
    txtprogramme_->setFont(bold);
    FitToWidth(
        PlacedLabel("Label9", "Nombre de crédits :", TwipsRect(240, 1320, 1935, 255), frame1));
    txtcredit_ = Placed(new QLineEdit(frame1), "txtcredit", TwipsRect(2160, 1320, 1215, 285));
    cmdWriteValueDisposable_ = Placed(new WrappingButton("Ecriture Valeur Jetable", frame1),
                                      "cmdWriteValueDisposable", TwipsRect(1680, 1800, 1335, 615));

    auto* frame2 =
        Placed(new QGroupBox("Carte crédit", this), "Frame2", TwipsRect(5280, 1800, 3375, 2535));
    FitToWidth(PlacedLabel("Label1", "Valeur Maximum", TwipsRect(120, 360, 1335, 255), frame2));
    txtMaxValue_ = Placed(new QLineEdit(frame2), "txtMaxValue", TwipsRect(1560, 360, 1335, 285));
    PlacedLabel("Label4", "Nombre de crédit à programmer :", TwipsRect(120, 720, 2895, 615),
                frame2);
    txtnbcredit_ = Placed(new QLineEdit(frame2), "txtnbcredit", TwipsRect(840, 1200, 1335, 285));
    cmdWriteBlankDisposable_ = Placed(new WrappingButton("Ecriture valeur crédit", frame2),
                                      "cmdWriteBlankDisposable", TwipsRect(960, 1680, 1455, 615));

    shpLED_ = Placed(new LedIndicator(this), "shpLED", TwipsRect(0, 4560, 495, 495));
    lblInfo_ = MakeInfoLabel(this);
    lblInfo_->setGeometry(TwipsRect(720, 4680, 7815, 375));
    tmrClignote_ = MakeBlinkTimer(lblInfo_, this);

    connect(cmdWriteBlankDisposable_, &QPushButton::clicked, this, [this] {
        Press(cmdWriteBlankDisposable_, cmdWriteValueDisposable_,
              &DisposableWorkflow::WriteCreditCard, txtnbcredit_);
    });
    connect(cmdWriteValueDisposable_, &QPushButton::clicked, this, [this] {
        Press(cmdWriteValueDisposable_, cmdWriteBlankDisposable_,
              &DisposableWorkflow::WriteTokenCard, txtprogramme_);
    });
    for (QLineEdit* field : {txtprogramme_, txtcredit_, txtnbcredit_, txtMaxValue_}) {
        connect(field, &QLineEdit::textEdited, this, [this, field] { lastTyped_ = field; });
    }
    binding_.Load(shpLED_);
    Show();
}

void DisposableWindow::CardInserted() {
    TakeFields();
    workflow_.CardInserted();
    binding_.Follow(this, [this] { Show(); });
}

void DisposableWindow::CardRemoved() {
    TakeFields();
    workflow_.CardRemoved();
    binding_.Follow(this, [this] { Show(); });
}

void DisposableWindow::Press(QPushButton* pressed, QPushButton* other,
                             void (DisposableWorkflow::*write)(), QLineEdit* ownField) {
    // A click queued behind this one finds both disabled: one write per click, and per card.
    pressed->setEnabled(false);
    other->setEnabled(false);
    pressed->repaint();
    TakeFields();
    (workflow_.*write)();
    binding_.Follow(this, [this] { Show(); }); // enabled again only if the card was not written
    // Disabling the button moved the focus on along the tab order; the operator goes on typing
    // where they were, to write the next card.
    QLineEdit* field = lastTyped_ ? lastTyped_.data() : ownField;
    field->setFocus(Qt::OtherFocusReason);
}

// What the operator typed goes to the workflow before it decides.
void DisposableWindow::TakeFields() {
    DisposableFields& fields = workflow_.fields();
    fields.programme = txtprogramme_->text().toStdString();
    fields.credit = txtcredit_->text().toStdString();
    fields.nbcredit = txtnbcredit_->text().toStdString();
    fields.maxValue = txtMaxValue_->text().toStdString();
}

void DisposableWindow::Show() {
    const DisposableFields& fields = workflow_.fields();
    txtprogramme_->setText(QString::fromStdString(fields.programme));
    txtcredit_->setText(QString::fromStdString(fields.credit));
    txtnbcredit_->setText(QString::fromStdString(fields.nbcredit));
    txtMaxValue_->setText(QString::fromStdString(fields.maxValue));
    const std::string waiting = binding_.waitingText();
    ShowInfo(lblInfo_, QString::fromStdString(waiting.empty() ? workflow_.info() : waiting),
             QString::fromStdString(workflow_.problem().empty() ? workflow_.notice()
                                                                : workflow_.problem()));
    shpLED_->setIndicator(workflow_.indicator());
    // While an operation waits for the journal, no other may start; a card written waits to
    // be pulled.
    const bool mayWrite = workflow_.mayWrite();
    cmdWriteBlankDisposable_->setEnabled(mayWrite);
    cmdWriteValueDisposable_->setEnabled(mayWrite);
}

void DisposableWindow::closeEvent(QCloseEvent* event) {
    binding_.Close();
    event->accept();
}

} // namespace ostrel::workflows
