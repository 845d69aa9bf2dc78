// Resources are compiled into the program with Qt's resource system; this is the one
// place the buffer touches Qt, so the rest of the buffer stays plain C++.
#include "common/ByteBuffer.h"

#include <QFile>
#include <QString>

namespace vireo {

bool ByteBuffer::LoadResource(const std::string& name) {
    QFile file(QStringLiteral(":/") + QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    Assign(bytes.constData(), size_t(bytes.size()));
    return true;
}

} // namespace vireo
