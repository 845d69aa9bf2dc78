#include "app/gui/Placement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace vireo {

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        areas << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            areas << screen->availableGeometry();
    if (areas.isEmpty())
        areas << QRect(0, 0, 1024, 768);
    return areas;
}

QRect FitOnScreens(const QRect& wanted, const QList<QRect>& areas) {
    if (areas.isEmpty())
        return wanted;
    QRect area = areas.first();
    qint64 best = 0;
    for (const QRect& candidate : areas) {
        QRect common = candidate.intersected(wanted);
        qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (overlap > best) {
            best = overlap;
            area = candidate;
        }
    }
    QRect fitted(wanted.topLeft(), QSize(std::min(wanted.width(), area.width()),
                                         std::min(wanted.height(), area.height())));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() - fitted.height() + 1));
    return fitted;
}

} // namespace vireo
