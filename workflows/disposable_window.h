#pragma once

#include "disposable_workflow.h"
#include "window_binding.h"
#include "workflow_host.h"
#include "workflow_widgets.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace ostrel::workflows {

// frmDisposable: writes token and credit cards and shows the kind of a card put in. It binds
// DisposableWorkflow; the decisions are there.
class DisposableWindow : public QWidget, public CardEvents {
    Q_OBJECT
public:
    DisposableWindow(reader::SharedState& state, WorkflowHost& host, WorkflowOptions options = {},
                     QWidget* parent = nullptr);

    void CardInserted() override;
    void CardRemoved() override;

    const DisposableWorkflow& workflow() const { return workflow_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A click: the button pressed is disabled and the other enabled while it runs, then both.
    // Then the focus goes back to the field typed in last, or to ownField.
    void Press(QPushButton* pressed, QPushButton* other, void (DisposableWorkflow::*write)(),
               QLineEdit* ownField);
    void TakeFields();
    void Show();

    DisposableWorkflow workflow_;
    WindowBinding<DisposableWorkflow> binding_;
    QLineEdit* txtprogramme_;
    QLineEdit* txtcredit_;
    QPushButton* cmdWriteValueDisposable_;
    QLineEdit* txtMaxValue_;
    QLineEdit* txtnbcredit_;
    QPushButton* cmdWriteBlankDisposable_;
    LedIndicator* shpLED_;
    QLabel* lblInfo_;
    QTimer* tmrClignote_;
    QPointer<QLineEdit> lastTyped_;
};

} // namespace ostrel::workflows
