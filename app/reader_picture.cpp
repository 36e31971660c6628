#include "reader_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ostrel::app {

namespace {

void DrawCable(QPainter& p) {
    QPainterPath cable;
    cable.moveTo(240, 330);
    cable.cubicTo(275, 330, 280, 360, 283, 378);
    p.setPen(QPen(QColor(40, 40, 45), 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
}

void DrawReaderBody(QPainter& p) {
    QLinearGradient shade(0, 190, 0, 350);
    shade.setColorAt(0, QColor(95, 98, 108));
    shade.setColorAt(1, QColor(45, 47, 54));
    p.setPen(QPen(QColor(30, 30, 35), 2));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(30, 190, 223, 150), 22, 22);
    // The slot the card goes into.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(15, 15, 18));
    p.drawRoundedRect(QRectF(52, 202, 179, 14), 5, 5);
    // Power light.
    p.setBrush(QColor(60, 220, 80));
    p.drawEllipse(QPointF(225, 318), 6, 6);
}

void DrawChip(QPainter& p, const QRectF& chip) {
    QLinearGradient gold(chip.topLeft(), chip.bottomRight());
    gold.setColorAt(0, QColor(245, 215, 120));
    gold.setColorAt(1, QColor(190, 150, 50));
    p.setPen(QPen(QColor(150, 115, 30), 1.5));
    p.setBrush(gold);
    p.drawRoundedRect(chip, 6, 6);
    // Contact pads: two columns of three.
    const qreal midX = chip.center().x();
    p.drawLine(QPointF(midX, chip.top()), QPointF(midX, chip.bottom()));
    for (int i = 1; i < 3; ++i) {
        const qreal y = chip.top() + chip.height() * i / 3;
        p.drawLine(QPointF(chip.left(), y), QPointF(chip.right(), y));
    }
}

void DrawCard(QPainter& p) {
    // The card stands in the slot, its lower part hidden inside the reader. The hidden part is
    // cut from the outline rather than clipped, as the icon's SVG file has no clipping.
    const QRectF card(62, 20, 159, 196);
    QPainterPath outline;
    outline.addRoundedRect(card, 12, 12);
    QPainterPath visible;
    visible.addRect(QRectF(0, 0, ReaderPicture::kWidth, 211));
    QLinearGradient face(card.topLeft(), card.bottomRight());
    face.setColorAt(0, QColor(70, 130, 210));
    face.setColorAt(1, QColor(25, 70, 150));
    p.setPen(QPen(QColor(20, 50, 110), 2));
    p.setBrush(face);
    p.drawPath(outline.intersected(visible));
    // A stripe across the card's face.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRect(QRectF(63, 60, 157, 18));
    DrawChip(p, QRectF(90, 105, 52, 42));
}

// The slot's front edge, drawn over the card so that the card goes into the reader.
void DrawSlotLip(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 124, 135));
    p.drawRoundedRect(QRectF(50, 209, 183, 7), 3, 3);
}

// In the drawing's own coordinates, 283 x 378.
void DrawPicture(QPainter& p) {
    DrawCable(p);
    DrawReaderBody(p);
    DrawCard(p);
    DrawSlotLip(p);
}

} // namespace

ReaderPicture::ReaderPicture(QWidget* parent) : QWidget(parent) {
    setObjectName("Image1");
}

void ReaderPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(width() / double(kWidth), height() / double(kHeight));
    DrawPicture(p);
}

void PaintReaderIcon(QPainter& p, int side) {
    p.setRenderHint(QPainter::Antialiasing);
    const double scale = double(side) / ReaderPicture::kHeight;
    p.translate((side - ReaderPicture::kWidth * scale) / 2, 0);
    p.scale(scale, scale);
    DrawPicture(p);
}

QIcon ReaderIcon() {
    constexpr int kSide = 64;
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    PaintReaderIcon(p, kSide);
    return QIcon(pixmap);
}

} // namespace ostrel::app
