// The row images of the download list: a round badge whose colour says the state and a
// white glyph that says it again for those who do not tell colours apart.
#include "app/gui/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vireo::art {

namespace {
const QColor kStoppedGrey(0x80, 0x86, 0x8e);
const QColor kDoneGreen(0x2e, 0x9d, 0x3f);
const QColor kFailedRed(0xd2, 0x2f, 0x2f);
const QColor kAttemptsRed(0x9c, 0x1c, 0x1c);
const QColor kBusyOrange(0xe8, 0x8a, 0x12);
const QColor kRunningBlue(0x1e, 0x6f, 0xd0);
const QColor kWaitingFace(0xf4, 0xf7, 0xfb);
const QColor kWaitingRim(0x5a, 0x77, 0x9c);

void Badge(QPainter& p, const QColor& fill) {
    QLinearGradient shade(0, 1, 0, 15);
    shade.setColorAt(0, fill.lighter(125));
    shade.setColorAt(1, fill);
    p.setPen(QPen(fill.darker(135), 1));
    p.setBrush(shade);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

QPen GlyphPen(qreal width) {
    return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Check(QPainter& p) {
    p.setPen(GlyphPen(2));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(4.8, 8.3);
    path.lineTo(7.0, 10.5);
    path.lineTo(11.2, 5.6);
    p.drawPath(path);
}

void Cross(QPainter& p) {
    p.setPen(GlyphPen(2));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void Exclamation(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(7, 3.5, 2, 6), 1, 1);
    p.drawEllipse(QRectF(7, 10.5, 2, 2));
}

void StopSquare(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 5.5, 5, 5));
}

void Clock(QPainter& p) {
    p.setPen(QPen(kWaitingRim, 1));
    p.setBrush(kWaitingFace);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(kWaitingRim.darker(130), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
    p.drawLine(QPointF(8, 8), QPointF(10.8, 9.6));
}

void Hourglass(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPolygonF glass;
    glass << QPointF(5, 4) << QPointF(11, 4) << QPointF(8.6, 8) << QPointF(11, 12) << QPointF(5, 12)
          << QPointF(7.4, 8);
    p.drawPolygon(glass);
}

void Padlock(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(GlyphPen(1.4));
    p.drawArc(QRectF(5.8, 3.6, 4.4, 6), 0, 180 * 16);
    p.drawLine(QPointF(5.8, 6.6), QPointF(5.8, 7.6));
    p.drawLine(QPointF(10.2, 6.6), QPointF(10.2, 7.6));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4.6, 7.4, 6.8, 5), 1, 1);
}

// A down arrow that falls through the badge: frame 5 of 11 shows it centred, the others
// above or below it, wrapping round.
void FallingArrow(QPainter& p, int frame) {
    QPainterPath inside;
    inside.addEllipse(QRectF(2, 2, 12, 12));
    p.setClipPath(inside);
    qreal offset = (frame - 5) * 16.0 / 11.0;
    for (qreal shift : {offset, offset - 16, offset + 16}) {
        p.setPen(GlyphPen(2));
        p.drawLine(QPointF(8, 3.8 + shift), QPointF(8, 9 + shift));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPolygonF head;
        head << QPointF(4.6, 8.2 + shift) << QPointF(11.4, 8.2 + shift) << QPointF(8, 12 + shift);
        p.drawPolygon(head);
    }
    p.setClipping(false);
}

void DrawState(QPainter& p, int index) {
    // 17 to 27 repeat the running cycle and 29, 30 the stopped and failed images: no row
    // state chooses them, but the strip keeps its 31 places.
    if (index >= 17 && index <= 27)
        index -= 11;
    if (index == 29)
        index = 0;
    if (index == 30)
        index = 4;
    switch (index) {
    case 0:
        Badge(p, kStoppedGrey);
        StopSquare(p);
        return;
    case 1:
        Badge(p, kAttemptsRed);
        Exclamation(p);
        return;
    case 2:
        Badge(p, kDoneGreen);
        Check(p);
        return;
    case 3:
        Clock(p);
        return;
    case 4:
        Badge(p, kFailedRed);
        Cross(p);
        return;
    case 5:
        Badge(p, kBusyOrange);
        Hourglass(p);
        return;
    case 28:
        Badge(p, kFailedRed);
        Padlock(p);
        return;
    default:
        break;
    }
    if (index >= 6 && index <= 16) {
        Badge(p, kRunningBlue);
        FallingArrow(p, index - 6);
    }
}
} // namespace

QPixmap StateImage(int index, qreal dpr) {
    QPixmap pixmap(QSize(kImageSize, kImageSize) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    if (index < 0 || index >= kStateImageCount)
        return pixmap;
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawState(p, index);
    return pixmap;
}

} // namespace vireo::art
