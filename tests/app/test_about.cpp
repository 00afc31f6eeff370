#include "app/About.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

int VisibleAboutBoxes() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += widget->isVisible() && widget->windowTitle() == QStringLiteral("О программе");
    }
    return count;
}

TEST(AboutBox, ShowsOnceAndEveryWayOfClosingHidesIt) {
    app::TAboutBox box;
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.size(), QSize(298, 225));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.isModal());
    EXPECT_EQ(box.OKButton->geometry(), QRect(111, 196, 75, 25));
    EXPECT_TRUE(box.OKButton->isDefault());

    const std::function<void()> hides[] = {
        [&] { box.OKButton->click(); },
        [&] {
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(&box, &enter);
        },
        [&] { box.close(); },
    };
    for (const auto& hide : hides) {
        box.ShowBox();
        box.ShowBox();
        EXPECT_EQ(VisibleAboutBoxes(), 1);
        hide();
        EXPECT_EQ(VisibleAboutBoxes(), 0);
    }
}

TEST(AboutBox, WebLabelDrawsAShadowToTheRightAndBelow) {
    app::TAboutBox box;
    // Whole pixels only, so that caption and shadow pixels have exact colours.
    QFont font = box.WebLabel->font();
    font.setStyleStrategy(QFont::NoAntialias);
    box.WebLabel->setFont(font);
    QImage image = box.WebLabel->grab().toImage();
    const QRgb text = box.WebLabel->palette().color(QPalette::WindowText).rgb();
    const QRgb shadow = box.WebLabel->palette().color(QPalette::Dark).rgb();
    ASSERT_NE(text, shadow);
    // The caption's right-most and bottom-most pixels have shadow pixels beyond them.
    int textRight = -1, textBottom = -1, shadowRight = -1, shadowBottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (pixel == text) {
                textRight = std::max(textRight, x);
                textBottom = std::max(textBottom, y);
            } else if (pixel == shadow) {
                shadowRight = std::max(shadowRight, x);
                shadowBottom = std::max(shadowBottom, y);
            }
        }
    }
    ASSERT_GE(textRight, 0);
    EXPECT_EQ(shadowRight, textRight + app::TShadowLabel::kShadowOffset);
    EXPECT_EQ(shadowBottom, textBottom + app::TShadowLabel::kShadowOffset);
}

} // namespace
