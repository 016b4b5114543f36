#pragma once
// CEthConnection: the Ethernet link to the scale, a TCP client or a UDP
// endpoint. It frames nothing itself over TCP, adds one 0x00 to each UDP
// command, swallows every socket failure (keeping its cause in LastCause),
// and reports each change of its state by posting WM_LINKSTATE to the
// target its creator gives it. Received text goes to the reply sink, always on the main
// thread; over UDP only text from the scale's own address.
#include "ClientSocket.h"
#include "EthProtocol.h"
#include "PostMessage.h"
#include "UdpPort.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// The cause of a connection the scale closed. A sentence that says the
// connection was lost says this already: those who tell it compare with it.
inline const QString ConnectionLostCause = QStringLiteral("connection lost");

// The largest UDP payload over IPv4: a command and its zero byte must fit in it.
constexpr qsizetype MaxUdpPayload = 65507;

class CEthConnection {
public:
    using ReplySink = std::function<void(const QByteArray& text)>;

    // udpLocalPort 0 binds the UDP endpoint to any free port.
    explicit CEthConnection(ReplySink replySink, quint16 udpLocalPort = EthDefaultPort);
    // Over UDP, shares an endpoint that its owner opened for several scales.
    CEthConnection(ReplySink replySink, std::shared_ptr<TUdpPort> sharedUdp);
    ~CEthConnection();
    CEthConnection(const CEthConnection&) = delete;
    CEthConnection& operator=(const CEthConnection&) = delete;

    // protocol epTCP or epUDP; anything else only reports the state again.
    void ToggleConnection(std::uint8_t protocol, const QString& host, std::int32_t port);
    void SendTcpText(const QByteArray& text);
    // One datagram to the scale at host:port: the text and the zero byte that
    // ends it. False when it could not go, with the reason in SendCause.
    bool SendUdpText(const QString& host, std::int32_t port, const QByteArray& text);

    // The UDP endpoint's local port while it is open, else 0.
    quint16 UdpBoundPort() const;

    void ClientConnected(TClientSocket& Socket);
    void ClientDisconnected(TClientSocket& Socket);
    void ClientRead(TClientSocket& Socket);
    void ClientError(TClientSocket& Socket, TErrorEvent ErrorEvent, int& ErrorCode);

private:
    ReplySink replySink_;
    quint16 udpLocalPort_;
    std::shared_ptr<TUdpPort> sharedUdp_;
    std::uint32_t udpScale_ = 0;  // the address the open UDP link answers to

public:
    std::int8_t State = lsDisconnected; // a TLinkState
    // Why the link last went down or could not come up; empty when it was asked to.
    QString LastCause;
    // Why the last command could not go out while the link was up (a command
    // too long for a datagram); empty once one went.
    QString SendCause;
    // A TCP connection not up after this is given up (state 0, its cause in LastCause).
    int ConnectTimeoutMs = 10000;
    // Where WM_LINKSTATE goes, as its creator says: the window's own link
    // posts to the window, each scale of a fleet to its own job; none: nowhere.
    QObject* StateTarget = nullptr;
    // Told of each state as it is posted, at once, for whoever keeps a record.
    std::function<void()> OnStateChange;
    std::unique_ptr<TClientSocket> TcpClient;
    std::shared_ptr<TUdpPort> UdpPort;  // while the UDP link is open

private:
    void PostState();
    void ToggleTcp(const QString& host, std::int32_t port);
    void ToggleUdp(const QString& host, std::int32_t port);
    void CloseUdp();
};
