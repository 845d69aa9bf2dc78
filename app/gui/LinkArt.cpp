// The two icons of the insert-link dialog: a page with arrows leaving it for the files it
// links to (the page's links are fetched), and one file with an arrow falling into it
// (only the address itself is fetched). Same palette as the application tile.
#include "app/gui/Artwork.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace vireo::art {

namespace {
const QColor kOutline(0x3a, 0x5a, 0x16);
const QColor kPaper(0xfb, 0xfb, 0xf4);
const QColor kGreen(0x5f, 0x8f, 0x25);

// A sheet with a folded corner, in the rectangle r.
void DrawSheet(QPainter& p, const QRectF& r) {
    const qreal fold = r.width() * 0.3;
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(Qt::NoBrush);
    p.drawPath(corner);
}

void DrawArrow(QPainter& p, QPointF from, QPointF to) {
    p.setPen(QPen(kGreen, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    QPointF d = to - from;
    qreal len = std::hypot(d.x(), d.y());
    QPointF u = d / len, n(-u.y(), u.x());
    QPolygonF head;
    head << to + u * 2.5 << to - u * 2.0 + n * 3.0 << to - u * 2.0 - n * 3.0;
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(head);
}

void DrawLinkPage(QPainter& p) {
    DrawSheet(p, QRectF(3.5, 3.5, 15, 20));
    p.setPen(QPen(QColor(0x7a, 0x86, 0x90), 1.2));
    for (qreal y : {9.5, 13.0, 16.5, 20.0})
        p.drawLine(QPointF(6, y), QPointF(15, y));
    DrawSheet(p, QRectF(21.5, 3.5, 8, 10));
    DrawSheet(p, QRectF(21.5, 18.5, 8, 10));
    DrawArrow(p, QPointF(13, 13), QPointF(19, 9));
    DrawArrow(p, QPointF(13, 20), QPointF(19, 23));
}

void DrawSingleLink(QPainter& p) {
    DrawSheet(p, QRectF(8.5, 9.5, 15, 19));
    DrawArrow(p, QPointF(16, 2.5), QPointF(16, 17));
}
} // namespace

QPixmap LinkIcon(int number, qreal dpr) {
    if (number != kLinkPageIcon && number != kSingleLinkIcon)
        return QPixmap();
    QPixmap pixmap(QSize(32, 32) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (number == kLinkPageIcon)
        DrawLinkPage(p);
    else
        DrawSingleLink(p);
    return pixmap;
}

} // namespace vireo::art
