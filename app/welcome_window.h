#pragma once

#include <QWidget>

class QLabel;
class QTimer;

namespace ostrel::app {

// frmWelcome: the idle screen, a card reader with a card and a blinking prompt over it.
class WelcomeWindow : public QWidget {
    Q_OBJECT
public:
    explicit WelcomeWindow(QWidget* parent = nullptr);

    static constexpr const char* kPrompt = "Veuillez insérez une carte";
    static constexpr int kBlinkMilliseconds = 800;

    // One tmrClignote tick: the prompt shows and hides in turn.
    void blink();

private:
    QLabel* Label1_;
    QTimer* tmrClignote_;
};

} // namespace ostrel::app
