#include "peers/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

namespace vireo::test {

QString WriteFileUnder(const QString& dir, const QString& relativePath, const QByteArray& data) {
    QString path = QDir(dir).filePath(relativePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return {};
    return path;
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool SetModified(const QString& path, const QDateTime& when) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(when, QFileDevice::FileModificationTime);
}

QByteArray ReadSettledFile(const QString& path) {
    QByteArray content = ReadWholeFile(path);
    for (int i = 0; i < 20; ++i) {
        QThread::msleep(30);
        QByteArray again = ReadWholeFile(path);
        if (again == content)
            break;
        content = again;
    }
    return content;
}

void MakeReadableByAll(const QString& dir) {
    QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ReadGroup | QFile::ExeGroup |
                                   QFile::ReadOther | QFile::ExeOther);
}

QByteArray RandomBytes(int size, quint32 seed) {
    QRandomGenerator generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

} // namespace vireo::test
