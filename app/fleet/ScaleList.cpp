#include "ScaleList.h"

#include <algorithm>
#include <utility>

namespace {

// A file of bad lines is told by its first few; the rest are only counted.
constexpr int kBadLinesTold = 10;

// The code point at the start of b and its length n; n is 0 where b does not
// start with a well-formed UTF-8 sequence (overlong forms and surrogates included).
char32_t DecodeUtf8(QByteArrayView b, qsizetype& n)
{
    const auto lead = static_cast<unsigned char>(b[0]);
    n = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
        : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (n == 0 || n > b.size()) {
        n = 0;
        return 0;
    }
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (qsizetype k = 1; k < n; ++k) {
        const auto next = static_cast<unsigned char>(b[k]);
        if ((next & 0xC0) != 0x80) {
            n = 0;
            return 0;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
        n = 0;
    return c;
}

// A line of at most kScaleLineLimit bytes: a scale, or false.
bool ReadEntry(QByteArrayView raw, TScaleListEntry& e, QString& why)
{
    const qsizetype hash = raw.indexOf('#');
    const QByteArrayView bytes = (hash >= 0 ? raw.first(hash) : raw).trimmed();
    const QString line = QString::fromUtf8(bytes);
    const auto blank = std::find_if(line.begin(), line.end(), [](QChar c) { return c.isSpace(); });
    const qsizetype space = blank == line.end() ? -1 : blank - line.begin();
    if (!ParseLink(line.left(space), e.Target)) {
        why = QStringLiteral("bad link ") + QuotedLine(bytes);
        return false;
    }
    if (space > 0)
        e.Target.Name = line.mid(space).trimmed();
    if (hash >= 0)
        e.Comment = raw.sliced(hash).trimmed().toByteArray();
    e.Line = raw.toByteArray();
    return true;
}

bool IsCommentOrBlank(QByteArrayView raw)
{
    const qsizetype hash = raw.indexOf('#');
    return (hash >= 0 ? raw.first(hash) : raw).trimmed().isEmpty();
}

} // namespace

TScaleList ReadScaleList(const QByteArray& bytes)
{
    TScaleList list;
    QByteArray before;
    int number = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();  // the last line without its LF
        const QByteArrayView raw = QByteArrayView(bytes).sliced(at, end - at);
        at = end + 1;
        ++number;
        QString why;
        TScaleListEntry e;
        if (raw.size() > kScaleLineLimit)  // only its start is looked at
            why = QStringLiteral("bad link %1 (a line of %2 bytes; a line holds at most %3)")
                      .arg(QuotedLine(raw.first(240)), QString::number(raw.size()), QString::number(kScaleLineLimit));
        else if (!IsCommentOrBlank(raw) && ReadEntry(raw, e, why)) {
            e.Before = std::exchange(before, {});
            list.Entries.push_back(std::move(e));
            continue;
        }
        if (!why.isEmpty() && ++list.BadCount <= kBadLinesTold)
            list.Bad.push_back({number, why});
        before += raw;
        before += '\n';
    }
    list.After = before;
    return list;
}

bool ParseScaleList(const QByteArray& bytes, const QString& source, TScaleList& list, QString& error)
{
    list = ReadScaleList(bytes);
    if (list.BadCount == 0)
        return true;
    error = QStringLiteral("%1:%2: %3").arg(source, QString::number(list.Bad.front().Number), list.Bad.front().Why);
    return false;
}

QByteArray ScaleListText(const TScaleList& list)
{
    QByteArray text;
    for (const TScaleListEntry& e : list.Entries) {
        text += e.Before;
        if (!e.Line.isEmpty()) {
            text += e.Line + '\n';  // as it was read: its bytes need not be UTF-8
            continue;
        }
        QString line = e.Target.Link;
        const QString name = ListableName(e.Target.Name);
        if (name != e.Target.Link && !name.isEmpty())
            line += QLatin1Char(' ') + name;
        text += line.toUtf8();
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

QString QuotedLine(QByteArrayView bytes)
{
    constexpr qsizetype room = 60;
    QString text;
    qsizetype i = 0;
    while (i < bytes.size() && text.size() < room) {
        qsizetype n = 0;
        const char32_t c = DecodeUtf8(bytes.sliced(i), n);
        if (n > 0 && QChar::isPrint(c)) {
            text += QString::fromUcs4(&c, 1);
        } else {
            for (qsizetype k = 0; k < std::max<qsizetype>(n, 1); ++k)
                text += QStringLiteral("<%1>").arg(static_cast<unsigned char>(bytes[i + k]), 2, 16, QLatin1Char('0')).toUpper();
        }
        i += std::max<qsizetype>(n, 1);
    }
    if (i < bytes.size())
        text += QChar(0x2026);
    return text;
}
