#pragma once
// CEthConnection: the Ethernet link to the scale, a TCP client or a UDP
// endpoint. It frames nothing itself over TCP, adds one 0x00 to each UDP
// command, swallows every socket failure, and reports each change of its
// state by posting WM_LINKSTATE to MainWindowHandle. Received text goes to
// the reply sink, always on the main thread.
#include "ClientSocket.h"
#include "PostMessage.h"
#include "UDPServer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CEthConnection {
public:
    using ReplySink = std::function<void(const QByteArray& text)>;

    // udpLocalPort 0 binds the UDP endpoint to any free port.
    explicit CEthConnection(ReplySink replySink, quint16 udpLocalPort = 1001);
    ~CEthConnection();
    CEthConnection(const CEthConnection&) = delete;
    CEthConnection& operator=(const CEthConnection&) = delete;

    // protocol epTCP or epUDP; anything else only reports the state again.
    void ToggleConnection(std::uint8_t protocol, const QString& host, std::int32_t port);
    void SendTcpText(const QByteArray& text);
    // One datagram to the scale at host:port: the text and the zero byte that ends it.
    void SendUdpText(const QString& host, std::int32_t port, const QByteArray& text);

    // The UDP endpoint's local port while it is open, else 0.
    quint16 UdpBoundPort() const;

    void ClientConnected(TClientSocket& Socket);
    void ClientDisconnected(TClientSocket& Socket);
    void ClientRead(TClientSocket& Socket);
    void ClientError(TClientSocket& Socket, TErrorEvent ErrorEvent, int& ErrorCode);
    // Runs on the UDP listener thread.
    void UdpRead(const QByteArray& AData);

private:
    // Declared before the components so it outlives them: queued calls aimed
    // at it are dropped by Qt once it is gone.
    std::unique_ptr<QObject> mainThreadContext_;
    std::mutex udpMutex_;
    std::deque<QByteArray> udpPending_;
    ReplySink replySink_;
    quint16 udpLocalPort_;

public:
    std::int8_t State = lsDisconnected; // a TLinkState
    std::unique_ptr<TClientSocket> TcpClient;
    std::unique_ptr<TIdUDPServer> UdpServer;

private:
    void PostState();
    void ToggleTcp(const QString& host, std::int32_t port);
    void ToggleUdp(const QString& host, std::int32_t port);
    void DrainUdpReplies();
};
