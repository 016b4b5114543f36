#include "SettingsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <utility>

bool ReadBounded(const QString& path, qint64 maxBytes, QByteArray& bytes)
{
    bytes.clear();
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxBytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // read(n) allocates n bytes first: ask for the file's size, not the limit,
    // or every read of a small file costs the whole limit. Whatever it grew
    // by meanwhile follows.
    QByteArray read = file.read(std::min(info.size(), maxBytes) + 1);
    if (read.size() > info.size())
        read += file.read(maxBytes + 1 - read.size());
    if (file.error() != QFileDevice::NoError || read.size() > maxBytes)
        return false;
    bytes = std::move(read);
    return true;
}

bool SaveAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // Unbuffered, so a short write (full disk) shows here: a write that only
    // fails while commit() flushes its buffer goes unnoticed and the
    // truncated file would replace the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
