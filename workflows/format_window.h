#pragma once

#include "format_workflow.h"
#include "ini_serial_store.h"
#include "window_binding.h"
#include "workflow_host.h"
#include "workflow_widgets.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace ostrel::workflows {

// frmFormat: formats the blank cards the reader monitor reports while it is open. It binds
// FormatWorkflow; the decisions are there.
class FormatWindow : public QWidget, public CardEvents {
    Q_OBJECT
public:
    // configFile empty: the per-user configuration file.
    FormatWindow(reader::SharedState& state, WorkflowHost& host, const std::string& configFile,
                 WorkflowOptions options = {}, QWidget* parent = nullptr);

    void CardInserted() override;
    void CardRemoved() override;

    const FormatWorkflow& workflow() const { return workflow_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Show();

    IniSerialStore store_;
    FormatWorkflow workflow_;
    WindowBinding<FormatWorkflow> binding_;
    QLabel* lblNextSerial_;
    QLabel* lblOldSerial_;
    LedIndicator* shpLED_;
    QLabel* lblInfo_;
    QTimer* tmrClignote_;
};

} // namespace ostrel::workflows
