#include "AppFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// Where packages and `cmake --install` put programs, and the user's own folder
// for them. Root may write in the system ones, but settings files do not
// belong among programs.
bool IsProgramFolder(const QString& folder)
{
    const QStringList programs{QStringLiteral("/usr/bin"),       QStringLiteral("/usr/local/bin"),
                               QStringLiteral("/bin"),           QStringLiteral("/usr/sbin"),
                               QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin"),
                               QStringLiteral(SCALEDB_INSTALL_BINDIR), QDir::homePath() + "/.local/bin"};
    const QString path = QDir::cleanPath(folder);
    const QString real = QFileInfo(path).canonicalFilePath();
    for (const QString& p : programs)
        if (path == QDir::cleanPath(p) || (!real.isEmpty() && real == QFileInfo(p).canonicalFilePath()))
            return true;
    return false;
}
} // namespace

bool SettingsBesideProgram(const QString& programFolder)
{
    return !IsProgramFolder(programFolder) && MayWriteIn(programFolder);
}

void SetAppFolder(const QString& folder)
{
    Override() = folder.isEmpty() || folder.endsWith('/') ? folder : folder + '/';
}

namespace {
// Decided once, so that what start-up reads is what closing writes.
QString DefaultFolder()
{
    static const QString folder = [] {
        const QString exeFolder = QCoreApplication::applicationDirPath();
        if (SettingsBesideProgram(exeFolder))
            return exeFolder + '/';
        const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        if (config.isEmpty())
            return exeFolder + '/';
        QDir().mkpath(config);
        return config + '/';
    }();
    return folder;
}
} // namespace

QString AppFolder()
{
    return Override().isEmpty() ? DefaultFolder() : Override();
}
