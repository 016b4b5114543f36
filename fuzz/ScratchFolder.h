#pragma once
// A folder of one's own for a fuzz target's files, removed at exit.
#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Memory-backed when there is such a place: every input is saved, and a disk
// would sync each save. Ends with "/"; aborts when no folder can be made.
inline QString MakeScratchFolder(const char* target)
{
    static QString folder;
    QByteArray shm = QByteArray("/dev/shm/") + target + ".XXXXXX";
    QByteArray tmp = QByteArray("/tmp/") + target + ".XXXXXX";
    const char* made = mkdtemp(shm.data());
    if (!made)
        made = mkdtemp(tmp.data());
    if (!made) {
        std::fprintf(stderr, "%s: no scratch folder\n", target);
        std::abort();
    }
    folder = QString::fromLocal8Bit(made) + u'/';
    std::atexit([] { QDir(folder).removeRecursively(); });
    return folder;
}
