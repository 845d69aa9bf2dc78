#pragma once
// Small file helpers the peers and their tests share.

#include <QByteArray>
#include <QString>

namespace vireo::test {

// Writes data to dir/relativePath, creating the folders between; returns the full path,
// or an empty string when the file could not be written.
QString WriteFileUnder(const QString& dir, const QString& relativePath, const QByteArray& data);

// The whole content of a file; empty when it cannot be read.
QByteArray ReadWholeFile(const QString& path);

// Reproducible pseudo-random bytes (incompressible, so a body that arrives intact was not
// merely re-created by a decoder).
QByteArray RandomBytes(int size, quint32 seed = 1);

} // namespace vireo::test
