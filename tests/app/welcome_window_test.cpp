#include "reader_picture.h"
#include "welcome_window.h"

#include <QImage>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

using ostrel::app::ReaderPicture;
using ostrel::app::WelcomeWindow;

namespace {

TEST(WelcomeWindow, LoadSetsTheGreenPromptAndStartsTheBlinkTimer) {
    const WelcomeWindow window;
    const auto* label = window.findChild<QLabel*>("Label1");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromUtf8("Veuillez insérez une carte"));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(label->font().pointSize(), 24);
    EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    const auto* timer = window.findChild<QTimer*>("tmrClignote");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 800);
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(Qt::white));
}

TEST(WelcomeWindow, EachBlinkTurnsThePromptOverEvenWhileTheWindowIsHidden) {
    WelcomeWindow window; // never shown
    const auto* label = window.findChild<QLabel*>("Label1");
    ASSERT_FALSE(label->isHidden());
    window.blink();
    EXPECT_TRUE(label->isHidden());
    window.blink();
    EXPECT_FALSE(label->isHidden());
}

TEST(WelcomeWindow, ThePictureIsOurOwnDrawingOfAReaderWithACard) {
    const WelcomeWindow window;
    auto* picture = window.findChild<ReaderPicture*>("Image1");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(283, 378));
    const QImage image = picture->grab().toImage();
    // Something is drawn, and the slot holds the card: blue above the slot's edge.
    const QColor card = image.pixelColor(140, 150);
    EXPECT_GT(card.blue(), card.red());
    const QColor body = image.pixelColor(140, 300);
    EXPECT_LT(body.lightness(), 128);
}

} // namespace
