#pragma once

#include "indicator.h"

#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QWidget>

class QTimer;

namespace ostrel::workflows {

// The layouts of the workflow windows are given in twips: 15 to a pixel at 96 dpi.
QRect TwipsRect(int left, int top, int width, int height);

// The round state indicator: a filled circle of the indicator's colour.
class LedIndicator : public QWidget {
    Q_OBJECT
public:
    explicit LedIndicator(QWidget* parent = nullptr);
    void setIndicator(Indicator indicator);
    Indicator indicator() const { return indicator_; }
    QColor colour() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Indicator indicator_ = Indicator::Green;
};

// A push button whose caption wraps onto a second line when the button is too narrow for it,
// as the window layouts expect.
class WrappingButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The small sans-serif font the layouts were measured in, or the narrowest one at hand.
QFont WindowFont();

// Shrinks the label's font until its one-line text fits its width: the layouts were measured
// with narrower fonts than many machines have.
void FitToWidth(QLabel* label);

// The blue bold window heading.
QLabel* MakeHeading(const QString& text, QWidget* parent);
// The bold status label lblInfo, blinked by tmrClignote every 400 ms.
QLabel* MakeInfoLabel(QWidget* parent);

// Shows text in a status label made by MakeInfoLabel: a text longer than its line wraps onto the
// lines below, down to the window's bottom edge, and the tooltip holds the whole text and the
// reason behind it, so that nothing of a refusal is ever cut off unseen.
void ShowInfo(QLabel* label, const QString& text, const QString& reason);
QTimer* MakeBlinkTimer(QLabel* info, QWidget* parent);

} // namespace ostrel::workflows
