#include "app/MenuBarStyle.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

namespace app {

QSize TMenuBarStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                      const QSize& size, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type == CT_MenuBarItem && item != nullptr && !item->icon.isNull()) {
        // The menu bar measured the glyph alone; make room for the caption too.
        const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic, item->text);
        const int extent = pixelMetric(PM_SmallIconSize, option, widget);
        const QSize both(extent + kGlyphSpacing + text.width(), std::max(extent, text.height()));
        return QProxyStyle::sizeFromContents(type, option, both, widget);
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

void TMenuBarStyle::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuBarItem || item == nullptr || item->icon.isNull()) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The background and highlight as the style draws them, then glyph and caption.
    QStyleOptionMenuItem background = *item;
    background.icon = QIcon();
    background.text.clear();
    QProxyStyle::drawControl(element, &background, painter, widget);

    const bool enabled = (item->state & State_Enabled) != 0;
    const int extent = pixelMetric(PM_SmallIconSize, option, widget);
    const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic, item->text);
    const int width = extent + kGlyphSpacing + text.width();
    const QRect& r = item->rect;
    const int left = r.left() + (r.width() - width) / 2;
    const QRect glyph(left, r.top() + (r.height() - extent) / 2, extent, extent);
    item->icon.paint(painter, glyph, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
    const QRect caption(glyph.right() + 1 + kGlyphSpacing, r.top(), text.width(), r.height());
    drawItemText(painter, caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                 item->palette, enabled, item->text, QPalette::ButtonText);
}

int TMenuBarStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
    if (hint == SH_MenuBar_AltKeyNavigation) {
        return 1;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace app
