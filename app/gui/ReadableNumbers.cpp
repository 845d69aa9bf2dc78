#include "app/gui/ReadableNumbers.h"

#include <algorithm>

namespace vireo {

QString ReadableSize(qint64 bytes) {
    if (bytes < 1024)
        return QString::number(std::max<qint64>(bytes, 0)) + " B";
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    // 1023.96 KB would read "1024.0 KB": it is the next unit's 1.0 already.
    while (value >= 1023.95 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    // One decimal while it tells something; above 100 the whole number is enough.
    int decimals = value < 99.95 ? 1 : 0;
    return QString::number(value, 'f', decimals) + ' ' + kUnits[unit];
}

QString ReadableSpeed(qint64 bytesPerSecond) {
    return ReadableSize(bytesPerSecond) + "/s";
}

QString PercentText(qint64 received, qint64 size) {
    if (size <= 0)
        return QString();
    qint64 percent = received >= size ? 100 : received * 100 / size;
    return QString::number(std::max<qint64>(percent, 0)) + '%';
}

} // namespace vireo
