#pragma once
// Files in a download folder as an earlier run of Vireo left them: written, then stamped
// as its own. A file written without the stamp stands for one Vireo did not make.

#include "engine/TargetFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>

namespace vireo::test {

inline bool WriteBytes(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A partial file of an earlier run (stamped incomplete), or a finished one.
inline bool WriteOwnFile(const std::string& path, const QByteArray& bytes, bool complete = false,
                         const FileValidators& validators = {}) {
    if (!WriteBytes(path, bytes))
        return false;
    TargetFile file;
    if (!file.Open(path))
        return false;
    file.Stamp(complete);
    file.SetValidators(validators);
    return true;
}

} // namespace vireo::test
