#pragma once
// The one way a command leaves for the scale, from the window and from the
// command line alike: the bare command in, framed here for the link it goes
// over. Serial and TCP end it with CR LF; over UDP the endpoint puts the
// zero byte after it, in one datagram to the scale's own address. A serial
// command goes out whole as the device takes it, or its link fails.
#include <QByteArray>
#include <QString>

#include <cstdint>

class CEthConnection;
class TCommLog;
class TComPort;

class TLinkSender {
public:
    TLinkSender() = default;
    static TLinkSender Serial(TComPort& port);
    static TLinkSender Tcp(CEthConnection& link);
    static TLinkSender Udp(CEthConnection& link, const QString& host, std::int32_t port);

    // Every command that leaves also goes to the log, as framed, under the link's number.
    TLinkSender& Log(TCommLog* log, int link);

    // Link failures are not the sender's to report: the link's state tells them.
    void Send(const QByteArray& command) const;

private:
    TComPort* serial_ = nullptr;
    CEthConnection* eth_ = nullptr;
    bool udp_ = false;
    QString host_;
    std::int32_t port_ = 0;
    TCommLog* log_ = nullptr;
    int link_ = 0;
};
