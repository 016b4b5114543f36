#include "LinkSender.h"

#include "CPort.h"
#include "CommLog.h"
#include "EthConnection.h"

TLinkSender TLinkSender::Serial(TComPort& port)
{
    TLinkSender s;
    s.serial_ = &port;
    return s;
}

TLinkSender TLinkSender::Tcp(CEthConnection& link)
{
    TLinkSender s;
    s.eth_ = &link;
    return s;
}

TLinkSender TLinkSender::Udp(CEthConnection& link, const QString& host, std::int32_t port)
{
    TLinkSender s = Tcp(link);
    s.udp_ = true;
    s.host_ = host;
    s.port_ = port;
    return s;
}

TLinkSender& TLinkSender::Log(TCommLog* log, int link)
{
    log_ = log;
    link_ = link;
    return *this;
}

void TLinkSender::Send(const QByteArray& command) const
{
    if (serial_) {
        if (!serial_->Connected())
            return;
        const QByteArray framed = command + "\r\n";
        if (log_)
            log_->Append(link_, TCommLog::lkSent, framed);
        try {
            // The port finishes the command on its own thread, or fails the link.
            const std::int32_t now = serial_->QueueText(framed);
            if (now == 0 && !serial_->WritePending() && log_)
                log_->Event(link_, QStringLiteral("not sent: ") + WriteStallCause());
        } catch (const std::exception& e) {
            if (log_)
                log_->Event(link_, QStringLiteral("write failed: ") + QString::fromUtf8(e.what()));
        } catch (...) {
        }
    } else if (eth_ && udp_) {
        // The endpoint puts the zero byte after the command; the log shows the
        // datagram whole, or why it could not go.
        const bool sent = eth_->SendUdpText(host_, port_, command);
        if (log_ && eth_->State == lsConnected) {
            if (sent)
                log_->Append(link_, TCommLog::lkSent, command + '\0');
            else
                log_->Event(link_, QStringLiteral("not sent: ") + eth_->SendCause);
        }
    } else if (eth_) {
        const QByteArray framed = command + "\r\n";
        if (log_ && eth_->State == lsConnected)
            log_->Append(link_, TCommLog::lkSent, framed);
        eth_->SendTcpText(framed);
    }
}
