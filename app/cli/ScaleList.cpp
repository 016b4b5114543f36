#include "ScaleList.h"

#include <algorithm>
#include <utility>

bool ParseScaleList(const QByteArray& bytes, const QString& source, TScaleList& list, QString& error)
{
    QByteArray before;
    int number = 0;
    QList<QByteArray> lines = bytes.split('\n');
    if (bytes.endsWith('\n'))
        lines.removeLast();  // the last line's LF ends it; it starts no other
    for (const QByteArray& raw : lines) {
        ++number;
        const qsizetype hash = raw.indexOf('#');
        const QString line = QString::fromLocal8Bit(hash >= 0 ? raw.left(hash) : raw).trimmed();
        if (line.isEmpty()) {
            before += raw + '\n';
            continue;
        }
        const auto blank = std::find_if(line.begin(), line.end(), [](QChar c) { return c.isSpace(); });
        const qsizetype space = blank == line.end() ? -1 : blank - line.begin();
        TScaleListEntry e;
        if (!ParseLink(line.left(space), e.Target)) {
            error = QStringLiteral("%1:%2: bad link %3").arg(source).arg(number).arg(line);
            return false;
        }
        if (space > 0)
            e.Target.Name = line.mid(space).trimmed();
        e.Before = std::exchange(before, {});
        if (hash >= 0)
            e.Comment = raw.mid(hash).trimmed();
        list.Entries.push_back(std::move(e));
    }
    list.After = before;
    return true;
}

QByteArray ScaleListText(const TScaleList& list)
{
    QByteArray text;
    for (const TScaleListEntry& e : list.Entries) {
        text += e.Before;
        QString line = e.Target.Link;
        const QString name = ListableName(e.Target.Name);
        if (name != e.Target.Link && !name.isEmpty())
            line += QLatin1Char(' ') + name;
        text += line.toLocal8Bit();
        if (!e.Comment.isEmpty())
            text += "  " + e.Comment;
        text += '\n';
    }
    return text + list.After;
}

QString ListableName(const QString& name)
{
    QString one = name;
    one.replace(QLatin1Char('#'), QLatin1Char(' '));
    return one.simplified();
}
