#pragma once
// Stored window rectangles fitted on the screens there are now: a window stored on a
// screen that has gone, or at a scale that made the screen smaller, still opens whole and
// reachable.

#include <QList>
#include <QRect>

namespace vireo {

// The available areas of the screens, the primary one first; one 1024 x 768 area when
// there is no screen.
QList<QRect> AvailableScreenAreas();

// wanted moved (and shrunk where it is larger) into the area it overlaps most, or into the
// first area when it overlaps none.
QRect FitOnScreens(const QRect& wanted, const QList<QRect>& areas);

} // namespace vireo
