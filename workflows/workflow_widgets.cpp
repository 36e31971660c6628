#include "workflow_widgets.h"

#include "base/twips.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <QVariant>

#include <algorithm>

namespace ostrel::workflows {

QRect TwipsRect(int left, int top, int width, int height) {
    using base::TwipsToPixels;
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

LedIndicator::LedIndicator(QWidget* parent) : QWidget(parent) {
    setObjectName("shpLED");
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void LedIndicator::setIndicator(Indicator indicator) {
    if (indicator == indicator_)
        return;
    indicator_ = indicator;
    update();
}

QColor LedIndicator::colour() const {
    const Rgb rgb = IndicatorColour(indicator_);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

void LedIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(colour());
    const int side = std::min(width(), height()) - 1;
    painter.drawEllipse(QRectF(0.5, 0.5, side - 0.5, side - 0.5));
}

void WrappingButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(rect().adjusted(3, 2, -3, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
}

QFont WindowFont() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans",
                      "DejaVu Sans Condensed"});
    font.setPointSizeF(8.25);
    return font;
}

void FitToWidth(QLabel* label) {
    QFont font = label->font();
    constexpr double kSmallest = 6.0;
    while (QFontMetrics(font).horizontalAdvance(label->text()) > label->width() &&
           font.pointSizeF() > kSmallest) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    label->setFont(font);
}

QLabel* MakeHeading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font;
    font.setFamilies({"Arial", "Liberation Sans", "DejaVu Sans"});
    font.setPointSizeF(15.75);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    QPalette blue = label->palette();
    blue.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    label->setPalette(blue);
    return label;
}

QLabel* MakeInfoLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName("lblInfo");
    label->setTextFormat(Qt::PlainText);
    QFont font = WindowFont();
    font.setBold(true);
    label->setFont(font);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void ShowInfo(QLabel* label, const QString& text, const QString& reason) {
    label->setText(text);
    label->setToolTip(reason.isEmpty() || reason == text ? text : text + "\n" + reason);
    // The height the layout gave it is kept as the least: a short text stays where it was.
    QVariant least = label->property("leastHeight");
    if (!least.isValid()) {
        least = label->height();
        label->setProperty("leastHeight", least);
    }
    const int room = label->parentWidget() ? label->parentWidget()->height() - label->y()
                                           : label->heightForWidth(label->width());
    const int needed = label->heightForWidth(label->width());
    label->resize(label->width(), std::max(least.toInt(), std::min(needed, room)));
}

QTimer* MakeBlinkTimer(QLabel* info, QWidget* parent) {
    auto* timer = new QTimer(parent);
    timer->setObjectName("tmrClignote");
    timer->setInterval(400);
    QObject::connect(timer, &QTimer::timeout, info, [info] { info->setHidden(!info->isHidden()); });
    timer->start();
    return timer;
}

} // namespace ostrel::workflows
