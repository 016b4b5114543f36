#include "ScaleJob.h"

#include "CPort.h"
#include "CommLog.h"
#include "CommLogFeed.h"
#include "EthConnection.h"
#include "Global.h"
#include "PostMessage.h"
#include "StatusText.h"
#include "UdpPort.h"

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

} // namespace

bool ParseLink(const QString& text, TTarget& t)
{
    t.Name = text;
    if (text.startsWith(QLatin1String("serial:"))) {
        QString device = text.mid(7);
        const qsizetype at = device.lastIndexOf('@');
        if (at >= 0) {
            bool ok = false;
            t.Port = device.mid(at + 1).toInt(&ok);
            if (!ok || t.Port <= 0)
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
    bool ok = false;
    t.Port = rest.mid(colon + 1).toInt(&ok);
    std::uint32_t address = 0;
    if (t.Protocol == epUDP && !ParseDottedDecimal(t.Host, address))
        return false;
    return ok && t.Port > 0 && t.Port <= 65535 && !t.Host.contains('/') && !t.Host.contains(':');
}

TScaleJob::TScaleJob(const TTarget& target, const TGridTable& table, int position, TDeadlines& deadlines,
                     TDeadlines& gaps, int retries, std::shared_ptr<TUdpPort> udp, TCommLog* log)
    : Target(target), udp_(std::move(udp)), table_(table), position_(position),
      upload_({[this](const QByteArray& c) { Send(c); },
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
               [this](bool run) { run ? gaps_.Start(gap_) : gaps_.Stop(gap_); }}),
      deadlines_(deadlines),
      deadline_(deadlines.Add([this] {
          // A command still going out is the device's fault, not the scale's silence.
          if (!port_ || !port_->AbandonWrite())
              Finish(upload_.LineOverflow() ? NoLineEndCause() : QStringLiteral("no reply from the scale"));
      })),
      gaps_(gaps),
      gap_(gaps.Add([this] { upload_.TimerBazaTimer(); })),
      log_(log), retries_(retries)
{
    if (log_)
        logLink_ = log_->LinkId(Target.Name);
}

TScaleJob::~TScaleJob()
{
    deadlines_.Remove(deadline_);
    gaps_.Remove(gap_);
}

void TScaleJob::Begin()
{
    if (!Outcome.isNull())
        return;  // interrupted before its turn came
    clock_.start();
    deadlines_.Start(deadline_);
    if (Target.Kind == ckSerial) {
        port_ = std::make_unique<TComPort>();
        port_->setObjectName(QStringLiteral("ComPort1"));
        port_->SetPort(Target.Host);
        if (Target.Port > 0) {
            port_->SetBaudRate(RateFor(Target.Port));
            port_->SetCustomBaudRate(Target.Port);
        }
        port_->OnRxChar = [this](TCustomComPort*, std::int32_t count) {
            QByteArray text;
            try {
                port_->ReadText(text, count);
            } catch (...) {
                return;
            }
            Received(text);
        };
        port_->OnDeviceLost = [this](TCustomComPort*) { SerialLost(); };
        if (log_)
            LogSerialEvents(*port_, *log_, [link = logLink_] { return link; });
        try {
            port_->OpenPort();
        } catch (const std::exception& e) {
            const QString cause = port_->LastCause.isEmpty() ? QString::fromLocal8Bit(e.what()) : port_->LastCause;
            if (log_)
                log_->Event(logLink_, QStringLiteral("failed: ") + cause);
            Finish(WithCause(QStringLiteral("cannot open %1").arg(Target.Host), cause));
            return;
        }
        sender_ = TLinkSender::Serial(*port_).Log(log_, logLink_);
        OnEvent(*this, evConnected);
        Start();
        return;
    }
    const auto sink = [this](const QByteArray& text) { Received(text); };
    eth_ = Target.Protocol == epUDP ? std::make_unique<CEthConnection>(sink, udp_)
                                    : std::make_unique<CEthConnection>(sink);
    eth_->StateTarget = this;
    if (log_)
        LogEthEvents(*eth_, *log_, [link = logLink_] { return link; });
    sender_ = Target.Protocol == epUDP ? TLinkSender::Udp(*eth_, Target.Host, Target.Port)
                                       : TLinkSender::Tcp(*eth_);
    sender_.Log(log_, logLink_);
    eth_->ToggleConnection(static_cast<std::uint8_t>(Target.Protocol), Target.Host, Target.Port);
}

// Received text from either link: logged first, then taken by the upload.
void TScaleJob::Received(const QByteArray& text)
{
    if (!Outcome.isNull())
        return;  // over: the link closes on the next turn of the loop
    if (log_)
        log_->Received(logLink_, upload_.ReplyBuffer, text);
    upload_.ProcessReply(text, text.size());
}

bool TScaleJob::event(QEvent* e)
{
    if (e->type() != TWindowMessage::Type())
        return QObject::event(e);
    LinkChanged();
    return true;
}

void TScaleJob::LinkChanged()
{
    if (!eth_ || !Outcome.isNull())
        return;
    if (eth_->State == lsConnected && !started_) {
        OnEvent(*this, evConnected);
        Start();
    } else if (eth_->State == lsDisconnected) {
        Finish(LinkFailure(eth_->LastCause));
    }
}

void TScaleJob::SerialLost()
{
    // The device hung up: no reply can come, so the upload ends now, not at --timeout.
    Finish(LinkFailure(port_->LastCause));
}

QString TScaleJob::LinkFailure(const QString& cause) const
{
    if (!started_)
        return WithCause(QStringLiteral("cannot connect"), cause.isEmpty() ? QStringLiteral("the link went down") : cause);
    const QString where = QStringLiteral("the connection was lost at ") + UploadWhere(upload_.UploadIndex, table_.RowCount(), true);
    // "connection lost" is what the sentence says already.
    return cause == QLatin1String("connection lost") ? where : WithCause(where, cause);
}

void TScaleJob::Start()
{
    started_ = true;
    upload_.Start(position_);
}

void TScaleJob::Send(const QByteArray& command)
{
    // The exchange resends a command its reply did not match; a scale that
    // keeps refusing one would be sent it for ever.
    const bool again = command == lastCommand_ && upload_.UploadIndex == lastIndex_;
    repeats_ = again ? repeats_ + 1 : 0;
    lastCommand_ = command;
    lastIndex_ = upload_.UploadIndex;
    if (repeats_ >= retries_) {
        const QString what = command.startsWith("Sr") ? QStringLiteral("record %1").arg(upload_.UploadIndex)
                           : command.startsWith("Se") ? QStringLiteral("the end command")
                                                      : QStringLiteral("the start command");
        // A line too long to keep has no text to quote: its cause is the device's.
        Finish(upload_.LastReplyOverlong()
                   ? NoLineEndCause()
                   : QStringLiteral("the scale answered \"%1\" to %2 %3 times in a row")
                         .arg(QString::fromLatin1(upload_.LastReply), what).arg(repeats_));
        return;
    }
    if (command.startsWith("Sr"))
        RecordsSent = std::max(RecordsSent, static_cast<int>(upload_.UploadIndex));
    deadlines_.Start(deadline_);
    sender_.Send(command);
    // A command that could not go will never be answered: no use waiting.
    if (eth_ && !eth_->SendCause.isEmpty())
        Finish(QStringLiteral("%1 was not sent: %2")
                   .arg(UploadWhere(upload_.UploadIndex, table_.RowCount(), true), eth_->SendCause));
}

QString InterruptedAt(int record, int rows)
{
    return QStringLiteral("interrupted at record %1 of %2").arg(record).arg(rows);
}

void TScaleJob::Interrupt()
{
    if (!Outcome.isNull())
        return;
    Interrupted = true;
    Finish(InterruptedAt(RecordsSent, table_.RowCount()));
}

void TScaleJob::Ended(bool failed)
{
    // A file without records still makes a whole exchange, the start and
    // end commands alone, which must not pass for an accepted database.
    if (table_.Content().Rows() == 0)
        Finish(QStringLiteral("the database is empty: only the start and end commands were sent"));
    else
        Finish(failed ? QStringLiteral("the scale did not accept the database") : QString());
}

void TScaleJob::Finish(const QString& outcome)
{
    if (!Outcome.isNull())
        return;
    Outcome = outcome.isNull() ? QStringLiteral("") : outcome;
    Seconds = clock_.isValid() ? static_cast<double>(clock_.elapsed()) / 1000.0 : 0.0;
    deadlines_.Stop(deadline_);
    upload_.Stop();
    if (log_)
        log_->Event(logLink_, Outcome.isEmpty() ? QStringLiteral("upload accepted")
                              : Interrupted    ? QStringLiteral("upload ") + Outcome
                                               : QStringLiteral("upload failed: ") + Outcome);
    OnEvent(*this, evFinished);
}
