#include "AppFolder.h"

#include <QCoreApplication>

namespace {
QString& Override()
{
    static QString folder;
    return folder;
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
    return QCoreApplication::applicationDirPath() + '/';
}
