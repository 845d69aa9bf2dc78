#pragma once
// Byte counts as people read them in a download list: "512 B", "1.5 KB", "12.3 MB",
// "734 MB", "4.7 GB" (steps of 1024), speeds with "/s", and the part received as a
// percentage.

#include <QString>

namespace vireo {

QString ReadableSize(qint64 bytes);
QString ReadableSpeed(qint64 bytesPerSecond);
// Whole percent, rounded down so that a file shows 100% only once every byte is in;
// more than the size counts as 100%.
QString PercentText(qint64 received, qint64 size);

} // namespace vireo
