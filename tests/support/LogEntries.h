#pragma once
// Reading an upload back: the commands in a recording, and the entries of
// one kind in the communication log, to compare the two.
#include "CommLog.h"

#include <QByteArray>
#include <QList>

// Each command as it went: up to and with its terminator.
inline QList<QByteArray> Commands(const QByteArray& text, char terminator)
{
    QList<QByteArray> out;
    for (qsizetype begin = 0, end; (end = text.indexOf(terminator, begin)) >= 0; begin = end + 1)
        out << text.mid(begin, end + 1 - begin);
    return out;
}

// The log's entries of one kind, in order; of one link's only when link >= 0.
inline QList<QByteArray> Logged(const TCommLog& log, TCommLog::TKind kind, int link = -1)
{
    QList<QByteArray> out;
    for (qsizetype i = 0; i < log.Count(); ++i)
        if (log.At(i).Kind == kind && (link < 0 || log.At(i).Link == link))
            out << log.At(i).Bytes;
    return out;
}
