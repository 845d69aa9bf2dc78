// The row images of the log and history windows: one small sign per record kind, in
// colours that stay apart on the window colour.
#include "app/gui/Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace vireo::art {

namespace {
QPen Pen(const QColor& c, qreal w = 1) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A continuation line: a short grey rule.
void Plain(QPainter& p) {
    p.setPen(Pen(QColor(0x80, 0x80, 0x80)));
    p.drawLine(QPointF(5.5, 8.5), QPointF(11.5, 8.5));
}

// An error: a white cross on a red disc.
void Error(QPainter& p) {
    p.setPen(Pen(QColor(0x80, 0, 0)));
    p.setBrush(QColor(0xe0, 0x20, 0x20));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Pen(Qt::white, 2));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

// A notice: an exclamation mark on a yellow triangle.
void Notice(QPainter& p) {
    QPainterPath t;
    t.moveTo(8, 1.5);
    t.lineTo(14.5, 14);
    t.lineTo(1.5, 14);
    t.closeSubpath();
    p.setPen(Pen(QColor(0x80, 0x60, 0)));
    p.setBrush(QColor(0xff, 0xd0, 0x20));
    p.drawPath(t);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(7.2, 5.5, 1.6, 4.5));
    p.drawRect(QRectF(7.2, 11, 1.6, 1.6));
}

// An arrow across the square; right for what was sent, left for what came back.
void Arrow(QPainter& p, bool right, const QColor& fill) {
    QPainterPath a;
    a.moveTo(1.5, 6);
    a.lineTo(8.5, 6);
    a.lineTo(8.5, 2.5);
    a.lineTo(14.5, 8);
    a.lineTo(8.5, 13.5);
    a.lineTo(8.5, 10);
    a.lineTo(1.5, 10);
    a.closeSubpath();
    if (!right) {
        p.translate(16, 0);
        p.scale(-1, 1);
    }
    p.setPen(Pen(fill.darker(200)));
    p.setBrush(fill);
    p.drawPath(a);
}

// The data phase: a blue arrow down onto a bar.
void Data(QPainter& p) {
    QPainterPath a;
    a.moveTo(6, 1.5);
    a.lineTo(10, 1.5);
    a.lineTo(10, 6.5);
    a.lineTo(13.5, 6.5);
    a.lineTo(8, 12);
    a.lineTo(2.5, 6.5);
    a.lineTo(6, 6.5);
    a.closeSubpath();
    p.setPen(Pen(QColor(0, 0, 0x80)));
    p.setBrush(QColor(0x30, 0x60, 0xe0));
    p.drawPath(a);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0x80));
    p.drawRect(QRectF(2, 13.5, 12, 1.5));
}

// A downloaded file: a page with a green tick.
void File(QPainter& p) {
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(12.5, 4.5);
    page.lineTo(12.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(Pen(Qt::black));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setPen(Pen(QColor(0, 0x90, 0), 2));
    p.drawLine(QPointF(5.5, 9), QPointF(7.5, 11.5));
    p.drawLine(QPointF(7.5, 11.5), QPointF(11, 6));
}

QPixmap Draw(qreal dpr, void (*draw)(QPainter&)) {
    QPixmap pixmap(QSize(kImageSize, kImageSize) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    if (draw) {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
    }
    return pixmap;
}
} // namespace

QPixmap LogKindImage(int index, qreal dpr) {
    switch (index) {
    case 0:
        return Draw(dpr, Plain);
    case 1:
        return Draw(dpr, Error);
    case 2:
        return Draw(dpr, Notice);
    case 3:
        return Draw(dpr, [](QPainter& p) { Arrow(p, true, QColor(0x20, 0xa0, 0x20)); });
    case 4:
        return Draw(dpr, [](QPainter& p) { Arrow(p, false, QColor(0x20, 0x90, 0xd0)); });
    case 5:
        return Draw(dpr, Data);
    default:
        return Draw(dpr, nullptr);
    }
}

QPixmap HistoryImage(int index, qreal dpr) {
    return Draw(dpr, index == 1 ? File : nullptr);
}

} // namespace vireo::art
