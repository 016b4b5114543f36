#include "ScaleJob.h"

#include "CPort.h"
#include "EthConnection.h"
#include "Global.h"
#include "HostLookups.h"
#include "PostMessage.h"
#include "ScaleKeys.h"
#include "StatusText.h"
#include "UdpPort.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace {

QString WithCause(const QString& outcome, const QString& cause)
{
    return cause.isEmpty() ? outcome : outcome + QStringLiteral(": ") + cause;
}

TBaudRate RateFor(int bps)
{
    for (int r = br110; r <= br256000; ++r)
        if (BaudRateToText(static_cast<TBaudRate>(r)) == QString::number(bps))
            return static_cast<TBaudRate>(r);
    return brCustom;
}

// Decimal digits only: toInt() also takes a sign and spaces around the number.
bool ReadDecimal(const QString& text, int& value)
{
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
        return false;
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

} // namespace

bool NeedsLookup(const TTarget& t)
{
    std::uint32_t address = 0;
    return t.Kind == ckEthernet && t.Protocol == epTCP && !ParseDottedDecimal(t.Host, address);
}

QString LinkForms()
{
    return QCoreApplication::translate("ScaleJob",
                                       "tcp://HOST:PORT, udp://ADDRESS:PORT (four numbers 0-255) or serial:DEVICE[@BAUD]");
}

bool ParseLink(const QString& text, TTarget& t)
{
    t.Link = text;
    t.Name = text;
    if (text.startsWith(QLatin1String("serial:"))) {
        QString device = text.mid(7);
        const qsizetype at = device.lastIndexOf('@');
        if (at >= 0) {
            if (!ReadDecimal(device.mid(at + 1), t.Port) || t.Port <= 0)
                return false;
            device.truncate(at);
        }
        t.Kind = ckSerial;
        t.Host = device;
        return !device.isEmpty();
    }
    // Taken apart by hand: a URL parser reads "127.0.0.010" as octal and
    // "192.168.1" as 192.168.0.1, so the scale's address goes to the link as typed.
    t.Kind = ckEthernet;
    if (text.startsWith(QLatin1String("tcp://")))
        t.Protocol = epTCP;
    else if (text.startsWith(QLatin1String("udp://")))
        t.Protocol = epUDP;
    else
        return false;
    const QString rest = text.mid(6);
    const qsizetype colon = rest.lastIndexOf(':');
    if (colon <= 0)
        return false;
    t.Host = rest.left(colon);
    const bool ok = ReadDecimal(rest.mid(colon + 1), t.Port);
    std::uint32_t address = 0;
    if (t.Protocol == epUDP && !ParseDottedDecimal(t.Host, address))
        return false;
    return ok && t.Port > 0 && t.Port <= 65535 && !t.Host.contains('/') && !t.Host.contains(':');
}

TScaleJob::TScaleJob(const TTarget& target, const TGridTable& table, int position, TDeadlines& deadlines,
                     TDeadlines& gaps, int retries, std::shared_ptr<TUdpPort> udp, TCommLog* log)
    : Target(target), udp_(std::move(udp)), table_(table), position_(position),
      session_({[this](const QByteArray& c) { Send(c); },
                [this] { return table_.RowCount(); },
                [this](int row) { return table_.Record(row); },
                [this] { return position_; },
                [this](int p) {
                    // Only the quarters are worth a line of progress.
                    const bool quarter = p / 25 != Percent / 25;
                    Percent = p;
                    if (quarter)
                        OnEvent(*this, evPercent);
                },
                [this](bool failed) { Ended(failed); },
                [this](bool run) { run ? gaps_.Start(gap_) : gaps_.Stop(gap_); }},
               [this] { return static_cast<const TLinkTarget&>(Target); }, log),
      deadlines_(deadlines),
      deadline_(deadlines.Add([this] {
          // A command still going out is the device's fault, not the scale's silence.
          if (session_.AbandonWrite())
              return;
          const TUpload& upload = session_.Upload;
          if (upload.LineOverflow())
              Fail(NoLineEndCause());
          else if (StartOrEndRefused(1))
              Fail(Refused());
          else
              Fail(QStringLiteral("no reply from the scale"));
      })),
      gaps_(gaps),
      gap_(gaps.Add([this] { GapOver(); })),
      retries_(retries)
{
    session_.LogAs(Target.Name);
    retry_.setSingleShot(true);
    giveUp_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &TScaleJob::Attempt);
    connect(&giveUp_, &QTimer::timeout, this,
            [this] { Fail(lastCause_ == ConnectionLostCause ? lostAt_ : WithCause(lostAt_, lastCause_)); });
}

TScaleJob::~TScaleJob()
{
    if (lookup_)
        Lookups->Cancel(lookup_);
    deadlines_.Remove(deadline_);
    gaps_.Remove(gap_);
    // The link posts its last state as it closes. Posted to this job, it would
    // be taken back out of the queue by a search through every event posted
    // to any object: thousands of jobs ending together would each walk
    // thousands of events. Posted nowhere, it is not posted at all.
    if (session_.EthLink)
        session_.EthLink->StateTarget = nullptr;
}

void TScaleJob::Begin()
{
    if (State != TJobState::Running)
        return;  // interrupted before its turn came
    clock_.start();
    if (Target.Kind == ckSerial)
        OpenSerial();
    else if (Lookups && Scales && NeedsLookup(Target))
        LookUp();
    else
        Connect();
}

void TScaleJob::LookUp()
{
    lookup_ = Lookups->Find(Target.Host, [this](const TLookupResult& r) { LookedUp(r); });
    session_.LogEvent(QStringLiteral("looking up %1").arg(Target.Host));
    OnEvent(*this, evLookingUp);
}

// The link goes to the address found, so it is not looked up again, nor at a reconnect.
void TScaleJob::LookedUp(const TLookupResult& result)
{
    lookup_ = 0;
    if (State != TJobState::Running)
        return;
    if (result.Addresses.isEmpty()) {
        Fail(QStringLiteral("cannot connect: host not found: %1").arg(Target.Host)
             + (result.Error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.Error)));
        return;
    }
    const QString other = Scales->Claim(Target, result.Addresses);
    if (!other.isEmpty()) {
        Fail(QStringLiteral("cannot connect: the same scale as %1").arg(other));
        return;
    }
    const QHostAddress address = PreferredAddress(result.Addresses);
    session_.LogEvent(QStringLiteral("%1 is %2").arg(Target.Host, address.toString()));
    Target.Host = address.toString();
    Connect();
}

void TScaleJob::Connect()
{
    CEthConnection& eth = Target.Protocol == epUDP ? session_.MakeEthernet(udp_) : session_.MakeEthernet();
    eth.StateTarget = this;
    eth.ConnectTimeoutMs = ConnectTimeoutMs;
    session_.ToggleEthernet();
}

void TScaleJob::OpenSerial()
{
    TComPort& port = session_.Serial();
    port.SetPort(Target.Host);
    if (Target.Port > 0) {
        port.SetBaudRate(RateFor(Target.Port));
        port.SetCustomBaudRate(Target.Port);
    }
    // The device hung up: no reply can come, so it is opened again or the upload ends now, not at --timeout.
    port.OnDeviceLost = [this](TCustomComPort*) { LinkLost(); };
    if (!session_.OpenSerial()) {
        Fail(WithCause(QStringLiteral("cannot open %1").arg(Target.Host), session_.Cause()));
        return;
    }
    OnEvent(*this, evConnected);
    Start();
}

bool TScaleJob::event(QEvent* e)
{
    if (e->type() != TWindowMessage::Type())
        return QObject::event(e);
    LinkChanged(static_cast<std::uint8_t>(static_cast<TWindowMessage*>(e)->WParam & 0xFF));
    return true;
}

void TScaleJob::LinkChanged(std::uint8_t state)
{
    if (!session_.EthLink || State != TJobState::Running)
        return;
    if (reconnecting_) {
        // Each attempt's own states, as they were posted.
        if (state == lsConnected)
            Reconnected();
        else if (state == lsDisconnected)
            AttemptFailed(session_.Cause());
    } else if (session_.EthLink->State == lsConnected && !started_) {
        OnEvent(*this, evConnected);
        Start();
    } else if (session_.EthLink->State == lsDisconnected) {
        LinkLost();
    }
}

QString TScaleJob::LostAt() const
{
    return QStringLiteral("the connection was lost at ") + UploadWhere(session_.Upload.UploadIndex, table_.RowCount(), true);
}

QString TScaleJob::LinkFailure() const
{
    const QString cause = session_.Cause();
    if (!started_)
        return WithCause(QStringLiteral("cannot connect"), cause.isEmpty() ? QStringLiteral("the link went down") : cause);
    return cause == ConnectionLostCause ? LostAt() : WithCause(LostAt(), cause);
}

void TScaleJob::LinkLost()
{
    if (State != TJobState::Running || reconnecting_)
        return;
    const std::int32_t index = session_.Upload.UploadIndex;
    lostInARow_ = index == lostIndex_ ? lostInARow_ + 1 : 1;
    lostIndex_ = index;
    // Nothing to reopen before the upload began or over UDP; a device that
    // stops taking data is there, not lost; a scale that drops the link at
    // every try of one command would be tried for ever.
    const bool udp = Target.Kind == ckEthernet && Target.Protocol == epUDP;
    if (!started_ || ReconnectSeconds == 0 || udp || session_.Cause() == WriteStallCause() || lostInARow_ > retries_) {
        Fail(LinkFailure());
        return;
    }
    reconnecting_ = true;
    attempts_ = 0;
    lostAt_ = LostAt();
    lastCause_ = session_.Cause();
    deadlines_.Stop(deadline_);  // no reply is awaited while there is no link
    session_.Upload.Hold();
    Note(LinkFailure() + QStringLiteral(": reconnecting for up to %1 s").arg(ReconnectSeconds));
    giveUp_.start(ReconnectSeconds * 1000);
    retry_.start(0);
}

void TScaleJob::Attempt()
{
    if (State != TJobState::Running || !reconnecting_)
        return;
    ++attempts_;
    session_.LogEvent(QStringLiteral("reconnect attempt %1").arg(attempts_));
    if (!session_.Reopen())
        AttemptFailed(session_.Cause());
    else if (Target.Kind == ckSerial)
        Reconnected();
    // An Ethernet attempt ends in a posted state, connected or not.
}

void TScaleJob::AttemptFailed(const QString& cause)
{
    if (!cause.isEmpty())
        lastCause_ = cause;
    Note(WithCause(QStringLiteral("reconnect attempt %1 failed").arg(attempts_), cause));
    retry_.start(2000);
}

void TScaleJob::Reconnected()
{
    reconnecting_ = false;
    retry_.stop();
    giveUp_.stop();
    Note(QStringLiteral("reconnected at attempt %1").arg(attempts_));
    session_.Upload.Resume();
}

void TScaleJob::Note(const QString& text)
{
    Reconnecting = text;
    session_.LogEvent(text);
    OnEvent(*this, evReconnect);
}

void TScaleJob::Start()
{
    started_ = true;
    session_.Start(position_, Kind + QStringLiteral(" database"));
}

QString TScaleJob::Refused() const
{
    const TUpload& upload = session_.Upload;
    // A line too long to keep has no text to quote: its cause is the device's.
    if (upload.LastReplyOverlong())
        return NoLineEndCause();
    const QString reply = QString::fromLatin1(upload.LastReply);
    if (upload.UploadIndex == 0)
        return QStringLiteral("the scale answered \"%1\" to the start command \"%2\"").arg(reply, QString::fromLatin1(upload.LastCommand()))
             + (IsStartReply(upload.LastReply) ? QStringLiteral(": it expects another database kind (is --kind right?)") : QString());
    return QStringLiteral("the scale answered \"%1\" to the end command \"Se\"").arg(reply);
}

// The start and end commands are not sent again after a wrong answer: the
// retry limit counts the answers instead.
void TScaleJob::GapOver()
{
    session_.Upload.TimerBazaTimer();
    if (State == TJobState::Running && StartOrEndRefused(retries_))
        Fail(Refused());
}

bool TScaleJob::StartOrEndRefused(int times) const
{
    const TUpload& upload = session_.Upload;
    const bool startOrEnd = upload.UploadIndex == 0 || upload.UploadIndex == TUpload::EndCommandSent;
    return startOrEnd && upload.Awaiting() && upload.WrongRepliesInARow() >= times;
}

void TScaleJob::Send(const QByteArray& command)
{
    // The exchange resends a command its reply did not match; a scale that
    // keeps refusing one would be sent it for ever.
    const TUpload& upload = session_.Upload;
    const int repeats = upload.SendsInARow() - 1;
    if (repeats >= retries_) {
        if (!command.startsWith("Sr"))
            Fail(Refused());
        else  // a line too long to keep has no text to quote: its cause is the device's
            Fail(upload.LastReplyOverlong()
                     ? NoLineEndCause()
                     : QStringLiteral("the scale answered \"%1\" to record %2 %3 times in a row")
                           .arg(QString::fromLatin1(upload.LastReply)).arg(upload.UploadIndex).arg(repeats));
        return;
    }
    if (command.startsWith("Sr"))
        RecordsSent = std::max(RecordsSent, static_cast<int>(upload.UploadIndex));
    deadlines_.Start(deadline_);
    session_.Send(command);
    // A command that could not go will never be answered: no use waiting.
    if (!session_.NotSent().isEmpty())
        Fail(QStringLiteral("%1 was not sent: %2")
                 .arg(UploadWhere(upload.UploadIndex, table_.RowCount(), true), session_.NotSent()));
}

QString InterruptedAt(int record, int rows)
{
    return QStringLiteral("interrupted at record %1 of %2").arg(record).arg(rows);
}

void TScaleJob::Interrupt()
{
    Finish(TJobState::Interrupted, InterruptedAt(RecordsSent, table_.RowCount()));
}

void TScaleJob::Ended(bool failed)
{
    // A file without records still makes a whole exchange, the start and
    // end commands alone, which must not pass for an accepted database.
    if (table_.Content().Rows() == 0)
        Fail(QStringLiteral("the database is empty: only the start and end commands were sent"));
    else if (failed)
        Fail(QStringLiteral("the scale did not accept the database"));
    else
        Finish(TJobState::Accepted, QString());
}

void TScaleJob::Finish(TJobState state, const QString& cause)
{
    if (State != TJobState::Running)
        return;
    State = state;
    Cause = cause;
    retry_.stop();
    giveUp_.stop();
    if (lookup_)
        Lookups->Cancel(std::exchange(lookup_, 0));
    Seconds = clock_.isValid() ? static_cast<double>(clock_.elapsed()) / 1000.0 : 0.0;
    deadlines_.Stop(deadline_);
    session_.Upload.Stop();
    session_.Detach();
    session_.LogEvent(State == TJobState::Accepted      ? QStringLiteral("upload accepted")
                      : State == TJobState::Interrupted ? QStringLiteral("upload ") + Cause
                                                        : QStringLiteral("upload failed: ") + Cause);
    OnEvent(*this, evFinished);
}
