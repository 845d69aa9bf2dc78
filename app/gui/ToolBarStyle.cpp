#include "app/gui/ToolBarStyle.h"

#include <QPainter>
#include <QStyleOption>
#include <QToolBar>

namespace vireo {

namespace {
// A bar three pixels thick that stands out of the face: lit at the top and left, shaded at
// the bottom and right.
void EtchedBar(QPainter& p, const QRect& r, const QPalette& pal) {
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}
} // namespace

int ToolBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                              const QWidget* widget) const {
    switch (metric) {
    case PM_ToolBarSeparatorExtent:
        return kSeparatorWidth;
    case PM_ToolBarHandleExtent:
        return 2 * kGripperBar + kGripperBar + 4;
    case PM_ToolBarItemSpacing:
        return 0;
    case PM_ToolBarItemMargin:
        return 1;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

void ToolBarStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    switch (element) {
    case PE_IndicatorToolBarSeparator: {
        // Two pixels, shadow then highlight, across the bar in the separator's middle.
        const QRect& r = option->rect;
        bool horizontalBar = (option->state & State_Horizontal) != 0;
        painter->save();
        if (horizontalBar) {
            int x = r.left() + r.width() / 2 - 1;
            painter->setPen(option->palette.color(QPalette::Dark));
            painter->drawLine(x, r.top() + 1, x, r.bottom() - 1);
            painter->setPen(option->palette.color(QPalette::Light));
            painter->drawLine(x + 1, r.top() + 1, x + 1, r.bottom() - 1);
        } else {
            int y = r.top() + r.height() / 2 - 1;
            painter->setPen(option->palette.color(QPalette::Dark));
            painter->drawLine(r.left() + 1, y, r.right() - 1, y);
            painter->setPen(option->palette.color(QPalette::Light));
            painter->drawLine(r.left() + 1, y + 1, r.right() - 1, y + 1);
        }
        painter->restore();
        return;
    }
    case PE_IndicatorToolBarHandle: {
        auto* bar = qobject_cast<const QToolBar*>(widget);
        if (bar && bar->isFloating())
            return; // a floating bar has no gripper
        const QRect& r = option->rect;
        bool horizontalBar = (option->state & State_Horizontal) != 0;
        painter->save();
        for (int i = 0; i < 2; ++i) {
            int along = 2 + i * 2 * kGripperBar;
            QRect grip = horizontalBar
                             ? QRect(r.left() + along, r.top() + 2, kGripperBar, r.height() - 4)
                             : QRect(r.left() + 2, r.top() + along, r.width() - 4, kGripperBar);
            EtchedBar(*painter, grip, option->palette);
        }
        painter->restore();
        return;
    }
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

} // namespace vireo
