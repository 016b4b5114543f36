#include "RecentFiles.h"

#include "SettingsFile.h"

#include <QFile>

namespace {
// Ten paths of PATH_MAX and more.
constexpr qint64 kMaxBytes = 64 * 1024;
}

void TRecentFiles::Load(const QString& path)
{
    path_ = path;
    files_.clear();
    changed_ = false;
    QByteArray bytes;
    if (!ReadBounded(path, kMaxBytes, bytes))
        return;
    for (const QByteArray& line : bytes.split('\n'))
        if (!line.isEmpty() && files_.size() < Max)
            files_.append(QFile::decodeName(line));
}

bool TRecentFiles::Save()
{
    if (!changed_ || path_.isEmpty())
        return true;
    QByteArray bytes;
    for (const QString& f : files_)
        bytes += QFile::encodeName(f) + '\n';
    changed_ = !SaveAtomically(path_, bytes);
    return !changed_;
}

void TRecentFiles::Add(const QString& file)
{
    // A line holds one path: a name with a line feed in it cannot be kept.
    if (file.isEmpty() || QFile::encodeName(file).contains('\n'))
        return;
    if (files_.value(0) == file)
        return;
    files_.removeAll(file);
    files_.prepend(file);
    while (files_.size() > Max)
        files_.removeLast();
    changed_ = true;
}

void TRecentFiles::Clear()
{
    if (files_.isEmpty())
        return;
    files_.clear();
    changed_ = true;
}
