#pragma once

#include "format_workflow.h"
#include "ini_serial_store.h"
#include "serial_series.h"
#include "window_binding.h"
#include "workflow_host.h"
#include "workflow_widgets.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace ostrel::workflows {

// frmFormat: formats the blank cards the reader monitor reports while it is open. It binds
// FormatWorkflow; the decisions are there.
class FormatWindow : public QWidget, public CardEvents {
    Q_OBJECT
public:
    // configFile empty: the per-user configuration file.
    FormatWindow(reader::SharedState& state, WorkflowHost& host, const std::string& configFile,
                 WorkflowOptions options = {}, QWidget* parent = nullptr);
    // The serials from series (a server's), which outlives the window.
    FormatWindow(reader::SharedState& state, WorkflowHost& host, SerialSeries& series,
                 WorkflowOptions options = {}, QWidget* parent = nullptr);

    void CardInserted() override;
    void CardRemoved() override;

    const FormatWorkflow& workflow() const { return workflow_; }
    // The next blank card replaces a lost card, once (FormatWorkflow::SetReplacement).
    void SetReplacement(const Replacement& replacement);

    // How often the server's next serial is read again while the window is open.
    static constexpr int kServerSerialMilliseconds = 5000;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    FormatWindow(reader::SharedState& state, WorkflowHost& host,
                 std::unique_ptr<IniSerialStore> ownStore, SerialSeries* series,
                 WorkflowOptions options, QWidget* parent);
    void Show();

    std::unique_ptr<IniSerialStore> ownStore_; // the configuration's, when no series is given
    std::unique_ptr<SerialSeries> ownSeries_;
    SerialSeries& series_;
    FormatWorkflow workflow_;
    WindowBinding<FormatWorkflow> binding_;
    QLabel* lblNextSerial_;
    QLabel* lblOldSerial_;
    LedIndicator* shpLED_;
    QLabel* lblInfo_;
    QTimer* tmrClignote_;
};

} // namespace ostrel::workflows
