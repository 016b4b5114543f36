#pragma once
// Reading and writing a settings file (config.xml, ComPortTest.ini): both
// files are read with a size limit and replaced atomically, in one way.
#include <QByteArray>
#include <QString>

// The whole file into bytes. False, and no bytes, when the path is not a
// regular file (a FIFO would block the start, a device would never end),
// cannot be opened or read, or holds more than maxBytes.
bool ReadBounded(const QString& path, qint64 maxBytes, QByteArray& bytes);

// Puts bytes in place of the file, or leaves the old file whole and returns
// false when any step fails.
bool SaveAtomically(const QString& path, const QByteArray& bytes);
