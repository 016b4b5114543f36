#include "UploadSession.h"

#include "CPort.h"
#include "CommLog.h"
#include "CommLogFeed.h"
#include "EthConnection.h"
#include "LinkSender.h"

namespace {

// Without the owner's own SendOrder, commands go straight to the session's send path.
TUpload::THooks SendingThrough(TUpload::THooks hooks, TUploadSession& session)
{
    if (!hooks.SendOrder)
        hooks.SendOrder = [&session](const QByteArray& command) { session.Send(command); };
    if (!hooks.EndLine)
        hooks.EndLine = [&session] { session.EndHalfLine(); };
    return hooks;
}

} // namespace

TUploadSession::TUploadSession(TUpload::THooks hooks, std::function<TLinkTarget()> link, TCommLog* log)
    : Upload(SendingThrough(hooks, *this)), link_(std::move(link)), rows_(hooks.RowCount), log_(log)
{
}

TUploadSession::~TUploadSession()
{
    // Closed while the session is whole: the port's last dispatches may still reach it.
    if (serial_) {
        try {
            serial_->ClosePort();
        } catch (...) {
        }
    }
}

TComPort& TUploadSession::Serial()
{
    if (!serial_) {
        serial_ = std::make_unique<TComPort>();
        serial_->setObjectName(QStringLiteral("ComPort1"));
        serial_->OnRxChar = [this](TCustomComPort*, std::int32_t count) { ReadSerial(count); };
        if (log_)
            LogSerialEvents(*serial_, *log_, [this] { return LogLink; });
    }
    return *serial_;
}

CEthConnection& TUploadSession::MakeEthernet(quint16 udpLocalPort)
{
    EthLink = std::make_unique<CEthConnection>([this](const QByteArray& text) { Received(text); }, udpLocalPort);
    FeedLog(*EthLink);
    return *EthLink;
}

CEthConnection& TUploadSession::MakeEthernet(std::shared_ptr<TUdpPort> sharedUdp)
{
    EthLink = std::make_unique<CEthConnection>([this](const QByteArray& text) { Received(text); }, std::move(sharedUdp));
    FeedLog(*EthLink);
    return *EthLink;
}

void TUploadSession::FeedLog(CEthConnection& eth)
{
    if (log_)
        LogEthEvents(eth, *log_, [this] { return LogLink; });
}

void TUploadSession::LogAs(const QString& name)
{
    if (log_)
        LogLink = log_->LinkId(name);
}

QString TUploadSession::LinkName()
{
    const TLinkTarget l = link_();
    return l.Kind == ckSerial ? SerialLinkName(Serial()) : EthLinkName(l.Protocol, l.Host, l.Port);
}

void TUploadSession::LogEvent(const QString& text) const
{
    if (log_)
        log_->Event(LogLink, text);
}

bool TUploadSession::OpenSerial()
{
    TComPort& port = Serial();
    try {
        port.OpenPort();
    } catch (...) {
        openFailure_ = port.LastCause.isEmpty() ? CaughtText() : port.LastCause;
        LogEvent(QStringLiteral("failed: ") + openFailure_);
        return false;
    }
    openFailure_.clear();
    LinkState = lsConnected;
    return true;
}

void TUploadSession::CloseSerial()
{
    try {
        Serial().ClosePort();
    } catch (...) {
    }
    LinkState = lsDisconnected;
}

void TUploadSession::ToggleEthernet()
{
    const TLinkTarget l = link_();
    if (EthLink)
        EthLink->ToggleConnection(static_cast<std::uint8_t>(l.Protocol), l.Host, l.Port);
}

void TUploadSession::Start(int position, const QString& kind)
{
    const int rows = rows_();
    LogEvent(QStringLiteral("upload started: %1, %2 %3").arg(kind).arg(rows).arg(rows == 1 ? "row" : "rows"));
    Upload.Start(position);
}

void TUploadSession::Stop()
{
    if (Upload.Running())
        LogEvent(QStringLiteral("upload stopped at ") + UploadWhere(Upload.UploadIndex, rows_(), true));
    Upload.Stop();
}

bool TUploadSession::Reopen()
{
    if (link_().Kind == ckSerial) {
        CloseSerial();  // the lost device's handle; the name may lead to a new one
        return OpenSerial();
    }
    if (EthLink && EthLink->State == lsDisconnected)
        ToggleEthernet();
    return true;
}

void TUploadSession::Send(const QByteArray& command)
{
    if (Upload.SendsInARow() >= 2)
        LogEvent(QStringLiteral("%1 sent again (%2 time)")
                     .arg(UploadWhere(Upload.UploadIndex, rows_(), false), Ordinal(Upload.SendsInARow())));
    SendFramed(command);
}

void TUploadSession::SendFramed(const QByteArray& command)
{
    const TLinkTarget l = link_();
    if (l.Kind == ckSerial)
        TLinkSender::Serial(Serial()).Log(log_, LogLink).Send(command);
    else if (!EthLink)
        return;
    else if (l.Protocol == epUDP)
        TLinkSender::Udp(*EthLink, l.Host, l.Port).Log(log_, LogLink).Send(command);
    else
        TLinkSender::Tcp(*EthLink).Log(log_, LogLink).Send(command);
}

void TUploadSession::EndHalfLine()
{
    const TLinkTarget l = link_();
    if (l.Kind == ckEthernet && l.Protocol == epUDP)
        return;  // a datagram is whole: no half of one waits at the scale
    LogEvent(QStringLiteral("line ended before the resend: the scale may hold the front of a cut command"));
    SendFramed(QByteArray());  // CR LF alone
}

void TUploadSession::Received(const QByteArray& text)
{
    if (detached_)
        return;  // its owner closes the link on the next turn of the loop
    if (log_)
        log_->Received(LogLink, Upload.ReplyBuffer, text);
    const std::int64_t ignored = Upload.IgnoredLines();
    Upload.ProcessReply(text, text.size());
    if (Upload.IgnoredLines() != ignored)
        LogEvent(QStringLiteral("ignored: arrived before the resend"));
}

void TUploadSession::ReadSerial(std::int32_t count)
{
    if (!serial_)
        return;
    QByteArray text;
    try {
        serial_->ReadText(text, count);
    } catch (...) {
        return;
    }
    if (!text.isEmpty())
        Received(text);
}

bool TUploadSession::AbandonWrite()
{
    return serial_ && serial_->AbandonWrite();
}

QString TUploadSession::Cause() const
{
    if (link_().Kind != ckSerial)
        return EthLink ? EthLink->LastCause : QString();
    if (!serial_)
        return QString();
    // A port that would not open may not have named why: the failure's own text.
    return serial_->LastCause.isEmpty() ? openFailure_ : serial_->LastCause;
}

QString TUploadSession::NotSent() const
{
    // Asked after every command: the link's target only when there is a cause.
    if (!EthLink || EthLink->SendCause.isEmpty())
        return QString();
    return link_().Kind != ckSerial ? EthLink->SendCause : QString();
}

TStatusState TUploadSession::Status() const
{
    TStatusState s;
    s.Started = Upload.Started();
    s.Running = Upload.Running();
    s.Stopped = Upload.Stopped();
    s.Index = Upload.UploadIndex;
    s.Rows = rows_();
    s.Failed = Upload.UploadFailed;
    s.Awaiting = Upload.Awaiting();
    s.SendsInARow = Upload.SendsInARow();
    s.WrongReplies = Upload.WrongRepliesInARow();
    s.MsSinceSent = Upload.MsSinceSent();
    s.ElapsedMs = Upload.ElapsedMs();
    s.LastReply = Upload.LastReply;
    s.LineOverflow = Upload.LineOverflow();
    const TLinkTarget l = link_();
    if (l.Kind == ckSerial) {
        s.Link = serial_ ? serial_->Port() : QString();
        s.LinkUp = serial_ && serial_->Connected();
    } else {
        s.Link = l.Host;
        s.LinkUp = LinkState != lsDisconnected;
        s.NotSent = NotSent();
    }
    s.Cause = Cause();
    return s;
}
