#pragma once

#include <QIcon>
#include <QPainter>
#include <QWidget>

namespace ostrel::app {

// Image1: a desktop card reader with a card in its slot, painted here and stretched to the
// widget's size.
class ReaderPicture : public QWidget {
    Q_OBJECT
public:
    explicit ReaderPicture(QWidget* parent = nullptr);

    // The drawing's own size, in pixels at 96 dpi.
    static constexpr int kWidth = 283;
    static constexpr int kHeight = 378;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The drawing centred in a square of `side` pixels: the window icon and the installed icon files.
void PaintReaderIcon(QPainter& painter, int side);

// The same drawing as the program's window icon.
QIcon ReaderIcon();

} // namespace ostrel::app
