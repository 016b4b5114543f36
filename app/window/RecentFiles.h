#pragma once
// File > Open Recent's list: the last database files opened, newest first,
// kept one path a line in a file of its own beside config.xml (whose keys
// never change). Paths are kept as the file system's bytes.
#include <QString>
#include <QStringList>

class TRecentFiles {
public:
    static constexpr int Max = 10;

    // Reads the list; a missing or unreadable file is an empty list.
    void Load(const QString& path);
    // Writes the list atomically when it changed since Load; true when nothing was lost.
    bool Save();
    // To the front; a file already listed moves there.
    void Add(const QString& file);
    void Clear();
    const QStringList& Files() const { return files_; }

private:
    QString path_;
    QStringList files_;
    bool changed_ = false;
};
