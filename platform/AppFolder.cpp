#include "AppFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {
QString& Override()
{
    static QString folder;
    return folder;
}

// Saving replaces each file through a temporary one beside it, so what counts
// is whether new files may be made in the folder, not the files themselves.
bool MayWriteIn(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}
}

void SetAppFolder(const QString& folder)
{
    Override() = folder.isEmpty() || folder.endsWith('/') ? folder : folder + '/';
}

QString AppFolder()
{
    if (!Override().isEmpty())
        return Override();
    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (MayWriteIn(exeFolder))
        return exeFolder + '/';
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (config.isEmpty())
        return exeFolder + '/';
    QDir().mkpath(config);
    return config + '/';
}
