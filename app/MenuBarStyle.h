// The menu bar shows an item's 16 x 16 glyph and its caption side by side;
// the stock styles show only one of the two. Alt alone moves the keyboard into
// the menu bar, as desktop users expect.
#pragma once

#include <QProxyStyle>

namespace app {

class TMenuBarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    static constexpr int kGlyphSpacing = 4;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

} // namespace app
