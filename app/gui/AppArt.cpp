// The application icon and the tray icons: an olive-green tile with a white arrow falling
// into a tray. The busy frames move the arrow down step by step.
#include "app/gui/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vireo::art {

namespace {
// arrowShift moves the arrow down, in units of the 16-pixel drawing.
void DrawTile(QPainter& p, qreal arrowShift) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 0, 0, 16);
    tile.setColorAt(0, QColor(0x8c, 0xb3, 0x3e));
    tile.setColorAt(1, QColor(0x4f, 0x7a, 0x1f));
    p.setPen(QPen(QColor(0x3a, 0x5a, 0x16), 0.6));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3.2, 3.2);

    // The tray.
    QPainterPath tray;
    tray.moveTo(3.2, 10.2);
    tray.lineTo(3.2, 12.8);
    tray.lineTo(12.8, 12.8);
    tray.lineTo(12.8, 10.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tray);

    // The arrow, clipped to the inside of the tile.
    p.save();
    p.setClipRect(QRectF(1.5, 1.5, 13, 13));
    qreal y = arrowShift;
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 2.6 + y), QPointF(8, 7.6 + y));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPolygonF head;
    head << QPointF(5, 6.6 + y) << QPointF(11, 6.6 + y) << QPointF(8, 10 + y);
    p.drawPolygon(head);
    p.restore();
}

QPixmap Tile(int size, qreal arrowShift) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.scale(size / 16.0, size / 16.0);
    DrawTile(p, arrowShift);
    return pixmap;
}

QIcon TileIcon(qreal arrowShift) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Tile(size, arrowShift));
    return icon;
}
} // namespace

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(size / 16.0, size / 16.0);
    DrawTile(p, 0);
    return image;
}

QIcon AppIcon() {
    return TileIcon(0);
}

QIcon NumberedIcon(int number) {
    if (number == kTrayStill)
        return TileIcon(0);
    if (number >= kTrayFirstFrame && number <= kTrayLastFrame)
        return TileIcon(-3.0 + 2.0 * (number - kTrayFirstFrame));
    if (number == kSettingsIcon) {
        QIcon icon;
        for (qreal dpr : {1.0, 2.0})
            icon.addPixmap(QPixmap::fromImage(ToolbarImage(kSettingsIcon, dpr)));
        return icon;
    }
    if (number == kLinkPageIcon || number == kSingleLinkIcon) {
        QIcon icon;
        for (qreal dpr : {1.0, 2.0})
            icon.addPixmap(LinkIcon(number, dpr));
        return icon;
    }
    return QIcon();
}

} // namespace vireo::art
