// The colour images of the toolbar buttons. Outlines use pure black and the greys 0x808080
// and 0xc0c0c0 and paper is pure white where the desktop's own button colours should show
// through: the toolbar maps those four colours onto its palette.
#include "app/gui/Artwork.h"

#include "app/gui/CommandTable.h"
#include "downloads/DocCommand.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace vireo::art {

namespace {
const QColor kInk(0, 0, 0);
const QColor kShadow(0x80, 0x80, 0x80);
const QColor kSilver(0xc0, 0xc0, 0xc0);
const QColor kPaper(0xff, 0xff, 0xff);

QPen Outline(const QColor& c = kInk, qreal w = 1) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Page(QPainter& p) {
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(12.5, 4.5);
    page.lineTo(12.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(Outline());
    p.setBrush(kPaper);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(9.5, 1.5);
    fold.lineTo(9.5, 4.5);
    fold.lineTo(12.5, 4.5);
    p.setBrush(kSilver);
    p.drawPath(fold);
}

void New(QPainter& p) {
    Page(p);
    // A spark in the corner: the list starts anew.
    p.setPen(Outline(QColor(0xd8, 0x9a, 0x00), 1.2));
    p.drawLine(QPointF(12.5, 9), QPointF(12.5, 14));
    p.drawLine(QPointF(10, 11.5), QPointF(15, 11.5));
    p.drawLine(QPointF(10.8, 9.8), QPointF(14.2, 13.2));
    p.drawLine(QPointF(14.2, 9.8), QPointF(10.8, 13.2));
}

void Paste(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(QColor(0xb5, 0x7b, 0x3c));
    p.drawRoundedRect(QRectF(2.5, 2.5, 10, 12), 1, 1);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 4.5, 6, 8));
    p.setBrush(kSilver);
    p.drawRoundedRect(QRectF(5.5, 1.5, 4, 3), 1, 1);
    p.setPen(Outline(QColor(0x1e, 0x6f, 0xd0)));
    p.drawLine(QPointF(6, 7.5), QPointF(9, 7.5));
    p.drawLine(QPointF(6, 9.5), QPointF(9, 9.5));
}

void InsertLink(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(Outline(QColor(0x2a, 0x55, 0x8c), 1.8));
    p.save();
    p.translate(7, 8);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-6.5, -2, 7, 4), 2, 2);
    p.drawRoundedRect(QRectF(-0.5, -2, 7, 4), 2, 2);
    p.restore();
    // The plus: a link is added.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9d, 0x3f));
    p.drawRect(QRectF(11, 9, 2, 6));
    p.drawRect(QRectF(9, 11, 6, 2));
}

void Stop(QPainter& p) {
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        qreal a = qDegreesToRadians(22.5 + 45.0 * i);
        octagon << QPointF(8 + 6.6 * qCos(a), 8 + 6.6 * qSin(a));
    }
    p.setPen(Outline(QColor(0x7a, 0x10, 0x10)));
    p.setBrush(QColor(0xd2, 0x2f, 0x2f));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 7, 7, 2));
}

void Start(QPainter& p) {
    QPolygonF play;
    play << QPointF(4.5, 2.5) << QPointF(13, 8) << QPointF(4.5, 13.5);
    p.setPen(Outline(QColor(0x14, 0x5a, 0x1e)));
    p.setBrush(QColor(0x34, 0xa8, 0x46));
    p.drawPolygon(play);
}

void Delete(QPainter& p) {
    p.setPen(QPen(QColor(0x7a, 0x10, 0x10), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    p.setPen(QPen(QColor(0xe0, 0x3a, 0x3a), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

void Log(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(kPaper);
    p.drawRect(QRectF(2.5, 1.5, 11, 13));
    p.setPen(Outline(QColor(0x1e, 0x6f, 0xd0)));
    for (qreal y : {4.5, 7.0, 9.5, 12.0})
        p.drawLine(QPointF(4.5, y), QPointF(y == 12.0 ? 8.5 : 11.5, y));
}

void History(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(kPaper);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Outline(QColor(0x2a, 0x55, 0x8c), 1.5));
    p.drawLine(QPointF(8, 8), QPointF(8, 4));
    p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
    p.setPen(Qt::NoPen);
    p.setBrush(kShadow);
    for (int i = 0; i < 12; i += 3) {
        qreal a = qDegreesToRadians(30.0 * i);
        p.drawEllipse(QPointF(8 + 5 * qCos(a), 8 + 5 * qSin(a)), 0.7, 0.7);
    }
}

void Settings(QPainter& p) {
    QPainterPath gear;
    constexpr int kTeeth = 8;
    for (int i = 0; i < kTeeth * 2; ++i) {
        qreal a = qDegreesToRadians(360.0 * i / (kTeeth * 2));
        qreal r = i % 2 == 0 ? 7.0 : 5.2;
        qreal half = qDegreesToRadians(360.0 / (kTeeth * 4) * 0.7);
        QPointF a1(8 + r * qCos(a - half), 8 + r * qSin(a - half));
        QPointF a2(8 + r * qCos(a + half), 8 + r * qSin(a + half));
        if (i == 0)
            gear.moveTo(a1);
        else
            gear.lineTo(a1);
        gear.lineTo(a2);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(8, 8), 2.2, 2.2);
    p.setPen(Outline(QColor(0x40, 0x40, 0x40)));
    p.setBrush(QColor(0x8a, 0x96, 0xa6));
    p.drawPath(gear.subtracted(hole));
}

void About(QPainter& p) {
    p.setPen(Outline(QColor(0x12, 0x45, 0x8a)));
    p.setBrush(QColor(0x1e, 0x6f, 0xd0));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawEllipse(QRectF(7, 3.8, 2, 2));
    p.drawRoundedRect(QRectF(7, 6.8, 2, 5.6), 0.8, 0.8);
}
// A diskette: the shutter at the top, the label below.
void Save(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(kShadow);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    p.setBrush(kSilver);
    p.drawRect(QRectF(5.5, 2.5, 5, 4));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 8.5, 7, 5));
}

// An envelope.
void Send(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(kPaper);
    p.drawRect(QRectF(1.5, 4.5, 13, 8));
    QPainterPath flap;
    flap.moveTo(1.5, 4.5);
    flap.lineTo(8, 9.5);
    flap.lineTo(14.5, 4.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}
} // namespace

QImage ToolbarImage(int commandId, qreal dpr) {
    void (*draw)(QPainter&) = nullptr;
    switch (commandId) {
    case int(DocCommand::NewList):
        draw = New;
        break;
    case int(DocCommand::Paste):
        draw = Paste;
        break;
    case int(DocCommand::InsertLink):
        draw = InsertLink;
        break;
    case int(DocCommand::Stop):
        draw = Stop;
        break;
    case int(DocCommand::Start):
        draw = Start;
        break;
    case int(DocCommand::Delete):
        draw = Delete;
        break;
    case int(DocCommand::Log):
        draw = Log;
        break;
    case int(DocCommand::History):
        draw = History;
        break;
    case int(DocCommand::Settings):
    case kSettingsIcon:
        draw = Settings;
        break;
    case command_id::About:
    case kLogAbout:
    case kHistoryAbout:
        draw = About;
        break;
    case kLogSave:
    case kHistorySave:
        draw = Save;
        break;
    case kLogClear:
        draw = Delete;
        break;
    case kLogSend:
        draw = Send;
        break;
    default:
        return QImage();
    }
    QImage image(QSize(kImageSize, kImageSize) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return image;
}

} // namespace vireo::art
