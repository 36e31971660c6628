#include "welcome_window.h"

#include "reader_picture.h"

#include <QGridLayout>
#include <QLabel>
#include <QTimer>

namespace ostrel::app {

WelcomeWindow::WelcomeWindow(QWidget* parent)
    : QWidget(parent), Label1_(new QLabel("Insérez Carte", this)), tmrClignote_(new QTimer(this)) {
    setObjectName("frmWelcome");
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto* picture = new ReaderPicture(this);
    // The drawing keeps its size in logical pixels: Qt scales those with the screen.
    picture->setFixedSize(ReaderPicture::kWidth, ReaderPicture::kHeight);

    Label1_->setObjectName("Label1");
    Label1_->setAlignment(Qt::AlignCenter);
    Label1_->setAttribute(Qt::WA_TranslucentBackground);
    QFont font;
    font.setPointSize(24);
    Label1_->setFont(font);

    // Both in one cell: the prompt lies over the picture.
    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, Qt::AlignCenter);
    layout->addWidget(Label1_, 0, 0, Qt::AlignCenter);
    Label1_->raise();

    tmrClignote_->setObjectName("tmrClignote");
    connect(tmrClignote_, &QTimer::timeout, this, &WelcomeWindow::blink);

    // Load.
    Label1_->setText(kPrompt);
    QPalette green = Label1_->palette();
    green.setColor(QPalette::WindowText, QColor(0, 255, 0));
    Label1_->setPalette(green);
    tmrClignote_->setInterval(kBlinkMilliseconds);
    tmrClignote_->start();
}

// isHidden, not isVisible: a hidden window would otherwise stop the blinking.
void WelcomeWindow::blink() {
    Label1_->setHidden(!Label1_->isHidden());
}

} // namespace ostrel::app
