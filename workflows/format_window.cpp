#include "format_window.h"

#include "local_serial_series.h"
#include "workflow_texts.h"

#include <QCloseEvent>

namespace ostrel::workflows {

namespace {

QLabel* PlacedLabel(const char* objectName, const QString& text, QRect where, QWidget* parent,
                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment);
    label->setGeometry(where);
    return label;
}

} // namespace

FormatWindow::FormatWindow(reader::SharedState& state, WorkflowHost& host,
                           const std::string& configFile, WorkflowOptions options, QWidget* parent)
    : FormatWindow(state, host, std::make_unique<IniSerialStore>(configFile), nullptr,
                   std::move(options), parent) {}

FormatWindow::FormatWindow(reader::SharedState& state, WorkflowHost& host, SerialSeries& series,
                           WorkflowOptions options, QWidget* parent)
    : FormatWindow(state, host, nullptr, &series, std::move(options), parent) {}

FormatWindow::FormatWindow(reader::SharedState& state, WorkflowHost& host,
                           std::unique_ptr<IniSerialStore> ownStore, SerialSeries* series,
                           WorkflowOptions options, QWidget* parent)
    : QWidget(parent), ownStore_(std::move(ownStore)),
      ownSeries_(ownStore_ ? std::make_unique<LocalSerialSeries>(*ownStore_) : nullptr),
      series_(ownSeries_ ? *ownSeries_ : *series),
      workflow_(state, series_, WaitingBeside(std::move(options))), binding_(workflow_, host) {
    if (ownStore_)
        ownStore_->SetWaiting(workflow_.waiting());
    setObjectName("frmFormat");
    setWindowTitle(QString());
    // Maximised in the main window it keeps its controls where the layout puts them.
    resize(TwipsRect(0, 0, 9645, 5700).size());
    setMinimumSize(size());
    setFont(WindowFont());

    QLabel* heading = MakeHeading("Formatage", this);
    heading->setObjectName("Label3");
    heading->setGeometry(TwipsRect(600, 240, 8655, 495));
    FitToWidth(PlacedLabel("Label1", "Indentification de la prochaine carte:",
                           TwipsRect(840, 1200, 2655, 375), this, Qt::AlignRight | Qt::AlignTop));
    lblNextSerial_ = PlacedLabel("lblNextSerial", "", TwipsRect(3840, 1200, 1935, 255), this);
    FitToWidth(PlacedLabel("Label2", "Identification de la carte dernièrement encodée :",
                           TwipsRect(0, 1680, 3495, 375), this, Qt::AlignRight | Qt::AlignTop));
    lblOldSerial_ = PlacedLabel("lblOldSerial", "", TwipsRect(3720, 1680, 2175, 375), this);
    if (const std::string note = series_.Note(); !note.empty()) {
        // Beside the next serial: it is the server's, shared by every station.
        FitToWidth(PlacedLabel("lblSeries", QString::fromStdString(note),
                               TwipsRect(5880, 1200, 3600, 255), this));
    }
    shpLED_ = new LedIndicator(this);
    shpLED_->setGeometry(TwipsRect(360, 2280, 495, 495));
    lblInfo_ = MakeInfoLabel(this);
    lblInfo_->setGeometry(TwipsRect(1080, 2400, 7815, 375));
    tmrClignote_ = MakeBlinkTimer(lblInfo_, this);

    binding_.Load(shpLED_);
    binding_.Follow(this, [this] { Show(); });
    if (series_.Remote()) {
        // Other stations take serials too: the server's next one is shown as it moves.
        auto* refresh = new QTimer(this);
        refresh->setObjectName("tmrServerSerial");
        connect(refresh, &QTimer::timeout, this, [this] {
            workflow_.RefreshNextSerial();
            binding_.Follow(this, [this] { Show(); });
        });
        refresh->start(kServerSerialMilliseconds);
    }
}

void FormatWindow::CardInserted() {
    workflow_.CardInserted();
    binding_.Follow(this, [this] { Show(); });
}

void FormatWindow::SetReplacement(const Replacement& replacement) {
    workflow_.SetReplacement(replacement);
    Show();
}

void FormatWindow::CardRemoved() {
    workflow_.CardRemoved();
    binding_.Follow(this, [this] { Show(); });
}

void FormatWindow::Show() {
    const std::string waiting = binding_.waitingText();
    ShowInfo(lblInfo_, QString::fromStdString(waiting.empty() ? workflow_.info() : waiting),
             QString::fromStdString(workflow_.problem().empty() ? workflow_.notice()
                                                                : workflow_.problem()));
    shpLED_->setIndicator(workflow_.indicator());
    lblNextSerial_->setText(QString::fromStdString(workflow_.nextSerialText()));
    lblOldSerial_->setText(QString::fromStdString(workflow_.oldSerialText()));
}

void FormatWindow::closeEvent(QCloseEvent* event) {
    binding_.Close();
    event->accept();
}

} // namespace ostrel::workflows
