#include "LinkSender.h"

#include "CPort.h"
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

void TLinkSender::Send(const QByteArray& command) const
{
    if (serial_) {
        if (!serial_->Connected())
            return;
        try {
            serial_->WriteText(command + "\r\n");
        } catch (...) {
        }
    } else if (eth_ && udp_) {
        eth_->SendUdpText(host_, port_, command);
    } else if (eth_) {
        eth_->SendTcpText(command + "\r\n");
    }
}
