#include "SettingsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

QString RefusedLink(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat link {};
    if (::lstat(name.constData(), &link) != 0 || !S_ISLNK(link.st_mode) || link.st_uid == 0)
        return {};
    // The whole chain resolved; a target not there yet would be made in its folder.
    const QFileInfo info(path);
    QString target = info.canonicalFilePath();
    if (target.isEmpty())
        target = QFileInfo(info.symLinkTarget()).absolutePath();
    struct stat last {};
    if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &last) != 0)
        return QStringLiteral("it is a link to a place that cannot be checked");
    if (last.st_uid != link.st_uid)
        return QStringLiteral("it is a link to a file of another owner");
    return {};
}

bool SaveAtomically(const QString& path, const QByteArray& bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    const bool root = ::geteuid() == 0;
    const bool existed = root && ::stat(name.constData(), &before) == 0;
    if (root) {
        if (const QString refused = RefusedLink(path); !refused.isEmpty()) {
            std::fprintf(stderr, "scaledb: not saving %s: %s\n", name.constData(), refused.toLocal8Bit().constData());
            return false;
        }
    }
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
    if (!file.commit())
        return false;
    // The new file root made stays its owner's, who could not write it otherwise.
    if (existed && before.st_uid != 0) {
        [[maybe_unused]] const int kept = ::chown(name.constData(), before.st_uid, before.st_gid);
    }
    return true;
}
