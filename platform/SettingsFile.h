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
// false when any step fails. A symbolic link is written through to its
// target, except as root where the link's owner does not own the target
// (root would write a file the user could not): then it is left alone and
// standard error says so.
bool SaveAtomically(const QString& path, const QByteArray& bytes);

// Why root must not write through the link at path; empty when it may (or
// path is no link). A link root owns is root's own choice.
QString RefusedLink(const QString& path);
