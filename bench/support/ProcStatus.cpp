#include "ProcStatus.h"

#include <QFile>

QByteArray ProcStatusField(const QByteArray& name, qint64 pid)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    const QByteArray key = name + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed();
    return {};
}

qint64 ProcStatusBytes(const QByteArray& name)
{
    const QByteArray text = ProcStatusField(name);
    bool ok = false;
    const qint64 kb = text.split(' ').value(0).toLongLong(&ok);
    return ok ? kb * 1024 : -1;
}
