#pragma once
// Small file helpers the peers and their tests share.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vireo::test {

// Writes data to dir/relativePath, creating the folders between; returns the full path,
// or an empty string when the file could not be written.
QString WriteFileUnder(const QString& dir, const QString& relativePath, const QByteArray& data);

// The whole content of a file; empty when it cannot be read.
QByteArray ReadWholeFile(const QString& path);

// Sets the file's modification time; false when it cannot.
bool SetModified(const QString& path, const QDateTime& when);

// The content of a log that a server writes just after it has answered: a client that has
// read the whole answer may look before the line is there, so read until it stays the same.
QByteArray ReadSettledFile(const QString& path);

// Lets every user list and read the folder: a server that drops root privileges must
// still reach what the test put there.
void MakeReadableByAll(const QString& dir);

// Reproducible pseudo-random bytes (incompressible, so a body that arrives intact was not
// merely re-created by a decoder).
QByteArray RandomBytes(int size, quint32 seed = 1);

} // namespace vireo::test
