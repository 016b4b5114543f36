#include "StatusText.h"

#include "EthConnection.h"
#include "ProcessData.h"

namespace {

QString Seconds(std::int64_t ms)
{
    return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

bool IsRecord(const TStatusState& s)
{
    return s.Index >= 1 && s.Index <= s.Rows;
}

QString Where(const TStatusState& s, bool of)
{
    return UploadWhere(s.Index, s.Rows, of);
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
        return QStringLiteral("No connection to the scale: press Stop") + CauseAfter(s.Cause);
    if (!s.LinkUp)
        return QStringLiteral("Connection lost at %1: press Connect to go on, or Stop").arg(Where(s, true)) + CauseAfter(s.Cause);
    if (s.Index == TUpload::EndAccepted)
        return QStringLiteral("The scale accepted the database");
    if (s.Awaiting && !s.NotSent.isEmpty())
        return QStringLiteral("Could not send %1 (%2): press Stop").arg(Where(s, true), s.NotSent);
    if (s.Awaiting && s.LineOverflow)
        return QStringLiteral("Waiting for the scale's answer to %1: %2").arg(Where(s, false), NoLineEndCause());
    // The start and end commands are not sent again: only Stop ends the wait.
    if (s.Awaiting && s.WrongReplies > 0 && s.Index == 0)
        return (IsStartReply(s.LastReply)
                    ? QStringLiteral("The scale answered \"%1\" to the start command: it expects another database kind; press Stop")
                    : QStringLiteral("The scale answered \"%1\" to the start command; press Stop"))
            .arg(QString::fromLatin1(s.LastReply));
    if (s.Awaiting && s.WrongReplies > 0 && s.Index == TUpload::EndCommandSent)
        return QStringLiteral("The scale answered \"%1\" to the end command; press Stop").arg(QString::fromLatin1(s.LastReply));
    if (s.Awaiting && s.MsSinceSent >= s.WaitNoticeMs)
        return QStringLiteral("Waiting %1 s for the scale's answer to %2").arg(s.MsSinceSent / 1000).arg(Where(s, false));
    if (s.Awaiting && s.SendsInARow >= 2 && IsRecord(s))
        return QStringLiteral("The scale answered \"%1\" to %2: sending it again (%3 time)")
            .arg(QString::fromLatin1(s.LastReply), Where(s, false), Ordinal(s.SendsInARow));
    if (IsRecord(s) || s.Index == 0 || s.Index == TUpload::EndCommandSent || s.Index == s.Rows + 1)
        return QStringLiteral("Sending %1").arg(Where(s, true));
    return QStringLiteral("Waiting at %1").arg(Where(s, false));
}

} // namespace

QString Ordinal(int n)
{
    const int tens = n % 100;
    const char* suffix = "th";
    if (tens < 11 || tens > 13) {
        switch (n % 10) {
        case 1: suffix = "st"; break;
        case 2: suffix = "nd"; break;
        case 3: suffix = "rd"; break;
        default: break;
        }
    }
    return QString::number(n) + QLatin1String(suffix);
}

QString UploadWhere(std::int32_t index, std::int32_t rows, bool of)
{
    if (index == 0)
        return QStringLiteral("the start command");
    if (index == TUpload::EndCommandSent || index == rows + 1)
        return QStringLiteral("the end command");
    if (of && index >= 1 && index <= rows)
        return QStringLiteral("record %1 of %2").arg(index).arg(rows);
    return QStringLiteral("record %1").arg(index);
}

bool IsStartReply(const QByteArray& reply)
{
    return reply == "MbP" || reply == "MbU" || reply == "MbS";
}

QString NoLineEndCause()
{
    return QStringLiteral("the device sends text without line ends (a scale in continuous output mode, or the wrong port?)");
}

QString LinkToolTip(const TStatusState& s)
{
    if (!s.LinkUp)
        return s.Cause;
    return s.Running && s.Awaiting && s.LineOverflow ? NoLineEndCause() : QString();
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
        return QStringLiteral("Stopped at %1 after %2 s").arg(Where(s, true), Seconds(s.ElapsedMs));
    if (s.Index != TUpload::EndAccepted)
        return QString();
    if (s.Failed)
        return QStringLiteral("Database could not be sent to scale: an empty record ended it after %1 s").arg(Seconds(s.ElapsedMs));
    return QStringLiteral("Database was sent to scale in %1 s").arg(Seconds(s.ElapsedMs));
}
