#include "app/gui/LockKeys.h"

#include <QDir>
#include <QFile>

namespace vireo {

namespace {
bool LightOn(const QString& path) {
    QFile file(path + "/brightness");
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll().trimmed().toInt() > 0;
}
} // namespace

LockKeys ReadLockKeys(const std::string& root) {
    LockKeys keys;
    QDir dir(QString::fromStdString(root));
    // One light per keyboard (input3::capslock, input7::capslock, ...): any lit one counts.
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        QString path = dir.filePath(name);
        if (name.endsWith("::capslock"))
            keys.caps = keys.caps || LightOn(path);
        else if (name.endsWith("::numlock"))
            keys.num = keys.num || LightOn(path);
        else if (name.endsWith("::scrolllock"))
            keys.scroll = keys.scroll || LightOn(path);
    }
    return keys;
}

} // namespace vireo
