#include "StatusText.h"

#include "EthConnection.h"
#include "ProcessData.h"

#include <QCoreApplication>

namespace {

QString Seconds(std::int64_t ms)
{
    return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

bool IsRecord(const TStatusState& s)
{
    return s.Index >= 1 && s.Index <= s.Rows;
}

// The logs, the report and the causes keep the English words; the window
// shows them in the user's language.
QString Said(const char* text, bool shown)
{
    return shown ? QCoreApplication::translate("StatusText", text) : QString::fromLatin1(text);
}

QString WhereWords(std::int32_t index, std::int32_t rows, bool of, bool shown)
{
    if (index == 0)
        return Said(QT_TRANSLATE_NOOP("StatusText", "the start command"), shown);
    if (index == TUpload::EndCommandSent || index == rows + 1)
        return Said(QT_TRANSLATE_NOOP("StatusText", "the end command"), shown);
    if (of && index >= 1 && index <= rows)
        return Said(QT_TRANSLATE_NOOP("StatusText", "record %1 of %2"), shown).arg(index).arg(rows);
    return Said(QT_TRANSLATE_NOOP("StatusText", "record %1"), shown).arg(index);
}

QString OrdinalWords(int n, bool shown)
{
    const int tens = n % 100;
    const char* suffix = QT_TRANSLATE_NOOP("StatusText", "th");
    if (tens < 11 || tens > 13) {
        switch (n % 10) {
        case 1: suffix = QT_TRANSLATE_NOOP("StatusText", "st"); break;
        case 2: suffix = QT_TRANSLATE_NOOP("StatusText", "nd"); break;
        case 3: suffix = QT_TRANSLATE_NOOP("StatusText", "rd"); break;
        default: break;
        }
    }
    return QString::number(n) + Said(suffix, shown);
}

const char* const NoLineEnd = QT_TRANSLATE_NOOP(
    "StatusText", "the device sends text without line ends (a scale in continuous output mode, or the wrong port?)");

QString Where(const TStatusState& s, bool of)
{
    return WhereWords(s.Index, s.Rows, of, true);
}

// A lost connection's cause says nothing the sentence does not. A cause
// that ends in a bracket of its own follows a colon, not inside another.
QString CauseAfter(const QString& cause)
{
    if (cause.isEmpty() || cause == ConnectionLostCause)
        return QString();
    return cause.endsWith(QLatin1Char(')')) ? QStringLiteral(": ") + cause : QStringLiteral(" (%1)").arg(cause);
}

QString RunningText(const TStatusState& s)
{
    if (!s.LinkUp && !s.LinkWasUp)
        return QCoreApplication::translate("StatusText", "No connection to the scale: press Stop") + CauseAfter(s.Cause);
    if (!s.LinkUp)
        return QCoreApplication::translate("StatusText", "Connection lost at %1: press Connect to go on, or Stop").arg(Where(s, true)) + CauseAfter(s.Cause);
    if (s.Index == TUpload::EndAccepted)
        return QCoreApplication::translate("StatusText", "The scale accepted the database");
    if (s.Awaiting && !s.NotSent.isEmpty())
        return QCoreApplication::translate("StatusText", "Could not send %1 (%2): press Stop").arg(Where(s, true), s.NotSent);
    if (s.Awaiting && s.LineOverflow)
        return QCoreApplication::translate("StatusText", "Waiting for the scale's answer to %1: %2").arg(Where(s, false), Said(NoLineEnd, true));
    // The start and end commands are not sent again: only Stop ends the wait.
    if (s.Awaiting && s.WrongReplies > 0 && s.Index == 0)
        return (IsStartReply(s.LastReply)
                    ? QCoreApplication::translate("StatusText", "The scale answered \"%1\" to the start command: it expects another database kind; press Stop")
                    : QCoreApplication::translate("StatusText", "The scale answered \"%1\" to the start command; press Stop"))
            .arg(QString::fromLatin1(s.LastReply));
    if (s.Awaiting && s.WrongReplies > 0 && s.Index == TUpload::EndCommandSent)
        return QCoreApplication::translate("StatusText", "The scale answered \"%1\" to the end command; press Stop").arg(QString::fromLatin1(s.LastReply));
    if (s.Awaiting && s.MsSinceSent >= s.WaitNoticeMs)
        return QCoreApplication::translate("StatusText", "Waiting %1 s for the scale's answer to %2").arg(s.MsSinceSent / 1000).arg(Where(s, false));
    if (s.Awaiting && s.SendsInARow >= 2 && IsRecord(s))
        return QCoreApplication::translate("StatusText", "The scale answered \"%1\" to %2: sending it again (%3 time)")
            .arg(QString::fromLatin1(s.LastReply), Where(s, false), OrdinalWords(s.SendsInARow, true));
    if (IsRecord(s) || s.Index == 0 || s.Index == TUpload::EndCommandSent || s.Index == s.Rows + 1)
        return QCoreApplication::translate("StatusText", "Sending %1").arg(Where(s, true));
    return QCoreApplication::translate("StatusText", "Waiting at %1").arg(Where(s, false));
}

} // namespace

QString Ordinal(int n)
{
    return OrdinalWords(n, false);
}

QString UploadWhere(std::int32_t index, std::int32_t rows, bool of)
{
    return WhereWords(index, rows, of, false);
}

QString ShownUploadWhere(std::int32_t index, std::int32_t rows, bool of)
{
    return WhereWords(index, rows, of, true);
}

bool IsStartReply(const QByteArray& reply)
{
    return reply == "MbP" || reply == "MbU" || reply == "MbS";
}

QString NoLineEndCause()
{
    return QString::fromLatin1(NoLineEnd);
}

QString LinkToolTip(const TStatusState& s)
{
    if (!s.LinkUp)
        return s.Cause;
    return s.Running && s.Awaiting && s.LineOverflow ? Said(NoLineEnd, true) : QString();
}

QString StatusText(const TStatusState& s)
{
    if (s.Running)
        return RunningText(s);
    if (!s.LinkUp && !s.Cause.isEmpty())
        return s.Link.isEmpty() ? s.Cause : s.Link + QStringLiteral(": ") + s.Cause;
    if (!s.Started)
        return QString();
    if (s.Stopped)
        return QCoreApplication::translate("StatusText", "Stopped at %1 after %2 s").arg(Where(s, true), Seconds(s.ElapsedMs));
    if (s.Index != TUpload::EndAccepted)
        return QString();
    if (s.Failed)
        return QCoreApplication::translate("StatusText", "Database could not be sent to scale: an empty record ended it after %1 s").arg(Seconds(s.ElapsedMs));
    return QCoreApplication::translate("StatusText", "Database was sent to scale in %1 s").arg(Seconds(s.ElapsedMs));
}
