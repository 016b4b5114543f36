#include "CommLog.h"

#include "GridText.h"
#include "ProcessData.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

void Escape(QString& out, unsigned char b)
{
    static const char digits[] = "0123456789ABCDEF";
    out += QLatin1Char('<');
    out += QLatin1Char(digits[b >> 4]);
    out += QLatin1Char(digits[b & 15]);
    out += QLatin1Char('>');
}

bool Printable(unsigned char b)
{
    return b >= 0x20 && b < 0x7F;
}

// The length of the UTF-8 sequence a lead byte starts; 0 for no lead byte.
int SequenceLength(unsigned char b)
{
    if ((b & 0xE0) == 0xC0)
        return 2;
    if ((b & 0xF0) == 0xE0)
        return 3;
    if ((b & 0xF8) == 0xF0)
        return 4;
    return 0;
}

const char* Direction(TCommLog::TKind kind)
{
    switch (kind) {
    case TCommLog::lkSent: return ">";
    case TCommLog::lkReceived: return "<";
    case TCommLog::lkReply: return "<<";
    case TCommLog::lkEvent: return "*";
    }
    return "?";
}

// An event as the panel shows it: its fixed words, whole or as the lead-in
// before the details it names (a cause, a place, a count), in the user's
// language; the details and --log stay as they were written.
QString ShownEvent(const QString& text)
{
    static const char* const leads[] = {
        QT_TRANSLATE_NOOP("TCommLog", "upload accepted"),
        QT_TRANSLATE_NOOP("TCommLog", "upload failed: the scale did not accept the database"),
        QT_TRANSLATE_NOOP("TCommLog", "opened, local UDP port "),
        QT_TRANSLATE_NOOP("TCommLog", "opened"),
        QT_TRANSLATE_NOOP("TCommLog", "closing"),
        QT_TRANSLATE_NOOP("TCommLog", "connecting"),
        QT_TRANSLATE_NOOP("TCommLog", "connected"),
        QT_TRANSLATE_NOOP("TCommLog", "closed"),
        QT_TRANSLATE_NOOP("TCommLog", "ignored: arrived before the resend"),
        QT_TRANSLATE_NOOP("TCommLog", "line ended before the resend: the scale may hold the front of a cut command"),
        QT_TRANSLATE_NOOP("TCommLog", "sleep allowed again"),
        QT_TRANSLATE_NOOP("TCommLog", "sleep held off while uploading "),
        QT_TRANSLATE_NOOP("TCommLog", "sleep could not be held off: "),
        QT_TRANSLATE_NOOP("TCommLog", "upload started: "),
        QT_TRANSLATE_NOOP("TCommLog", "upload stopped at "),
        QT_TRANSLATE_NOOP("TCommLog", "reconnect attempt "),
        QT_TRANSLATE_NOOP("TCommLog", "looking up "),
        QT_TRANSLATE_NOOP("TCommLog", "failed: "),
        QT_TRANSLATE_NOOP("TCommLog", "not sent: "),
        QT_TRANSLATE_NOOP("TCommLog", "write failed: "),
        QT_TRANSLATE_NOOP("TCommLog", "stopped after "),
        QT_TRANSLATE_NOOP("TCommLog", "ignored "),
    };
    for (const char* lead : leads)
        if (text.startsWith(QLatin1String(lead)))
            return QCoreApplication::translate("TCommLog", lead) + text.mid(qsizetype(qstrlen(lead)));
    return text;
}

const char* DirectionName(TCommLog::TKind kind)
{
    switch (kind) {
    case TCommLog::lkSent: return QT_TRANSLATE_NOOP("TCommLog", "sent");
    case TCommLog::lkReceived: return QT_TRANSLATE_NOOP("TCommLog", "received");
    case TCommLog::lkReply: return QT_TRANSLATE_NOOP("TCommLog", "reply");
    case TCommLog::lkEvent: return QT_TRANSLATE_NOOP("TCommLog", "event");
    }
    return "?";
}

// "200,002", as the log's other counts are written.
QString Grouped(std::int64_t n)
{
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

QString DiscardedText(std::int64_t n)
{
    return QStringLiteral("discarded %1 bytes without a line end").arg(Grouped(n));
}

QString CutNote(const TCommLog::TEntry& e)
{
    return e.Whole == 0 ? QString() : QStringLiteral(" \u2026 (%1 bytes)").arg(Grouped(e.Whole));
}

// Written out by hand: the panel asks for it once per new row, and a format
// string read anew each time cost more than the row's drawing.
QString TimeText(std::int64_t ms)
{
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms % 1000));
    return QString::fromLatin1(text);
}

// A saved or --log line's: the date too, as a log outlives its day.
QString DateTimeText(std::int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
}

} // namespace

QString CommLogText(const QByteArray& bytes, TCommLog::TDecoding decoding)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            if (Printable(b))
                out += QLatin1Char(static_cast<char>(b));
            else
                Escape(out, b);
            ++i;
            continue;
        }
        if (decoding == TCommLog::ldWindows1250) {
            const QString c = FromWindows1250(QByteArrayView(bytes).sliced(i, 1));
            // The code page's five unassigned bytes come back as C1 controls.
            if (c.at(0).unicode() < 0xA0)
                Escape(out, b);
            else
                out += c;
            ++i;
            continue;
        }
        const int len = decoding == TCommLog::ldUtf8 ? SequenceLength(b) : 0;
        if (len > 0 && i + len <= n && IsValidUtf8(bytes.constData() + i, len)) {
            const QString c = QString::fromUtf8(bytes.constData() + i, len);
            if (c.at(0).unicode() >= 0xA0) {
                out += c;
            } else {
                for (int k = 0; k < len; ++k)
                    Escape(out, p[i + k]);
            }
            i += len;
            continue;
        }
        Escape(out, b);
        ++i;
    }
    return out;
}

TCommLog::TCommLog(QObject* parent) : QAbstractTableModel(parent)
{
    flush_.setSingleShot(true);
    // Four updates a second are enough to follow; a repaint costs milliseconds
    // of the main thread. The timer starts with the first entry after an
    // update, a command as it leaves, so the repaint falls halfway between two
    // commands of the 100 ms exchange, never on the moment a reply or the next
    // command is due. It is a precise one: Qt moves a coarse timer onto the
    // clock's round figures, which drift against the exchange.
    flush_.setInterval(250);
    flush_.setTimerType(Qt::PreciseTimer);
    connect(&flush_, &QTimer::timeout, this, &TCommLog::Flush);
}

int TCommLog::LinkId(const QString& name)
{
    const auto found = linkIds_.constFind(name);
    if (found != linkIds_.constEnd())
        return found.value();
    const int id = static_cast<int>(links_.size());
    links_.append(name);
    linkIds_.insert(name, id);
    return id;
}

void TCommLog::Append(int link, TKind kind, const QByteArray& bytes)
{
    TEntry e{QDateTime::currentMSecsSinceEpoch(), bytes, static_cast<std::uint16_t>(link), kind};
    if (kind != lkEvent && bytes.size() > LongEntry) {
        // A 200 kB record shows as its start and its length, not as 200 kB of rows.
        e.Bytes = bytes.left(LongEntry);
        e.Whole = static_cast<std::uint32_t>(std::min<qsizetype>(bytes.size(), UINT32_MAX));
    }
    const auto slot = static_cast<std::size_t>((total_ - base_) % Capacity);
    if (static_cast<qsizetype>(ring_.size()) < Capacity) {
        ring_.push_back(std::move(e));
    } else {
        bytes_ -= ring_[slot].Bytes.size();  // the oldest, or already dropped and empty
        ring_[slot] = std::move(e);
    }
    count_ = std::min(count_ + 1, Capacity);
    bytes_ += ring_[slot].Bytes.size();
    ++total_;
    while (bytes_ > ByteCapacity && count_ > 1)
        DropOldest();
    if (OnAppend)
        OnAppend(ring_[slot]);
    if (!flush_.isActive())
        flush_.start();
}

void TCommLog::DropOldest()
{
    TEntry& e = ring_[static_cast<std::size_t>((total_ - count_ - base_) % Capacity)];
    bytes_ -= e.Bytes.size();
    e.Bytes = QByteArray();
    --count_;
}

void TCommLog::Event(int link, const QString& text)
{
    // The link's state changed: a line being discarded is told before it.
    if (link >= 0 && link < static_cast<int>(runs_.size()))
        TellDiscarded(link, runs_[static_cast<std::size_t>(link)]);
    Append(link, lkEvent, text.toUtf8());
}

TCommLog::TRun& TCommLog::RunOf(int link)
{
    const auto i = static_cast<std::size_t>(std::max(link, 0));
    if (runs_.size() <= i)
        runs_.resize(i + 1);
    return runs_[i];
}

void TCommLog::TellDiscarded(int link, TRun& run)
{
    const std::int64_t n = run.Length - run.Told;
    if (run.Length <= TUpload::ReplyBound || n <= 0)
        return;
    run.Told = run.Length;
    Append(link, lkEvent, DiscardedText(n).toUtf8());
}

void TCommLog::Received(int link, const QByteArray& waiting, const QByteArray& piece)
{
    TRun& run = RunOf(link);
    if (run.Length <= TUpload::ReplyBound) {
        LogPiece(link, waiting, piece, run);
        return;
    }
    // Past the bound the line's bytes are only counted, until its LF.
    const qsizetype lf = piece.indexOf('\n');
    run.Length += lf < 0 ? piece.size() : lf;
    if (lf < 0)
        return;
    TellDiscarded(link, run);
    run = TRun();
    if (lf + 1 < piece.size())
        LogPiece(link, QByteArray(), piece.mid(lf + 1), run);
}

void TCommLog::LogPiece(int link, const QByteArray& waiting, const QByteArray& piece, TRun& run)
{
    Append(link, lkReceived, piece);
    const qsizetype lastLf = piece.lastIndexOf('\n');
    const std::int64_t tail = lastLf < 0 ? run.Length + piece.size() : piece.size() - lastLf - 1;
    if (lastLf < 0) {
        run.Length = tail;
        return;
    }
    // Most replies arrive whole: the line is the piece itself, shared.
    if (waiting.isEmpty() && lastLf == piece.indexOf('\n') && lastLf == piece.size() - 1
        && lastLf <= TUpload::ReplyBound) {
        Append(link, lkReply, piece);
        run = TRun();
        return;
    }
    const QByteArray text = waiting + piece.left(lastLf + 1);
    qsizetype begin = 0, lf;
    while ((lf = text.indexOf('\n', begin)) >= 0) {
        // A line too long for a reply is one the upload took as wrong, unseen.
        if (lf - begin > TUpload::ReplyBound)
            Append(link, lkEvent, DiscardedText(lf - begin).toUtf8());
        else
            Append(link, lkReply, text.mid(begin, lf + 1 - begin));
        begin = lf + 1;
    }
    run = TRun();
    run.Length = tail;
}

const TCommLog::TEntry& TCommLog::At(qsizetype i) const
{
    const std::int64_t number = total_ - count_ + i;
    return ring_[static_cast<std::size_t>((number - base_) % Capacity)];
}

const TCommLog::TEntry* TCommLog::Row(int row) const
{
    const std::int64_t number = shownFirst_ + row;
    if (row < 0 || number < total_ - count_ || number >= total_)
        return nullptr;  // gone from the ring before the views heard of it
    return &ring_[static_cast<std::size_t>((number - base_) % Capacity)];
}

QString TCommLog::Text(const TEntry& e) const
{
    return e.Kind == lkEvent ? QString::fromUtf8(e.Bytes) : CommLogText(e.Bytes, decoding_) + CutNote(e);
}

QString TCommLog::Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString TCommLog::Hex(const TEntry& e)
{
    return Hex(e.Bytes) + CutNote(e);
}

QString TCommLog::Line(const TEntry& e) const
{
    return DateTimeText(e.Ms) + QLatin1Char(' ') + LinkName(e.Link) + QLatin1Char(' ')
         + QLatin1String(Direction(e.Kind)) + QLatin1Char(' ') + Text(e);
}

void TCommLog::SetDecoding(TDecoding decoding)
{
    if (decoding == decoding_)
        return;
    decoding_ = decoding;
    if (shownCount_ > 0)
        emit dataChanged(index(0, lcText), index(shownCount_ - 1, lcText));
}

void TCommLog::Clear()
{
    beginResetModel();
    ring_.clear();
    bytes_ = 0;
    count_ = 0;
    base_ = total_;
    shownFirst_ = total_;
    shownCount_ = 0;
    endResetModel();
}

bool TCommLog::Save(const QString& path, QString& error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    for (qsizetype i = 0; i < count_; ++i)
        file.write((Line(At(i)) + QLatin1Char('\n')).toUtf8());
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void TCommLog::Flush()
{
    flush_.stop();
    const std::int64_t first = total_ - count_;
    if (shownCount_ > 0 && shownFirst_ + shownCount_ <= first) {
        // A burst went past every row the views had: start them afresh.
        beginResetModel();
        shownFirst_ = first;
        shownCount_ = static_cast<int>(count_);
        endResetModel();
        return;
    }
    if (shownCount_ == 0)
        shownFirst_ = first;
    if (const std::int64_t gone = first - shownFirst_; gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        shownFirst_ = first;
        shownCount_ -= static_cast<int>(gone);
        endRemoveRows();
    }
    if (const std::int64_t added = total_ - (shownFirst_ + shownCount_); added > 0) {
        beginInsertRows({}, shownCount_, shownCount_ + static_cast<int>(added) - 1);
        shownCount_ += static_cast<int>(added);
        endInsertRows();
    }
}

int TCommLog::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shownCount_;
}

int TCommLog::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : lcColumns;
}

QVariant TCommLog::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const TEntry* e = Row(index.row());
    if (!e)
        return {};
    switch (index.column()) {
    case lcTime: return TimeText(e->Ms);
    case lcLink: return LinkName(e->Link);
    case lcDirection: return tr(DirectionName(e->Kind));  // the panel's word; --log keeps the English one
    case lcText: return e->Kind == lkEvent ? ShownEvent(Text(*e)) : Text(*e);
    case lcHex: return e->Kind == lkEvent ? QString() : Hex(*e);  // an event's text is no bytes of the link
    default: return {};
    }
}

QVariant TCommLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case lcTime: return tr("Time");
    case lcLink: return tr("Link");
    case lcDirection: return tr("Direction");
    case lcText: return tr("Text");
    case lcHex: return tr("Hex");
    default: return {};
    }
}
