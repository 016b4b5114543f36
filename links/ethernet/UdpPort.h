#pragma once
// TUdpPort: one local UDP endpoint for every scale reached over UDP. A scale
// may answer from any port, so a datagram belongs to the scale whose address
// it comes from; one from any other address is dropped and counted, never
// taken as the scale's answer. The listener thread only queues what it
// receives; the routing and the sinks run on the main thread.
#include "UDPServer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class TUdpPort {
public:
    using Sink = std::function<void(const QByteArray& text)>;

    // localPort 0 binds to any free port.
    explicit TUdpPort(quint16 localPort);
    // Closes the endpoint, waiting for the listener to end; queued texts are dropped.
    ~TUdpPort();
    TUdpPort(const TUdpPort&) = delete;
    TUdpPort& operator=(const TUdpPort&) = delete;

    // Binds and starts listening; false, with Cause, when the port cannot be had.
    bool Open();
    bool Active() const { return server_.Active(); }
    quint16 LocalPort() const { return localPort_; }
    quint16 BoundPort() const { return server_.BoundPort(); }
    // Why the last Open failed, in the technician's words.
    QString Cause;

    // Texts from address (host byte order) go to sink, until the route is removed.
    void AddRoute(std::uint32_t address, Sink sink);
    void RemoveRoute(std::uint32_t address);

    // One datagram; a socket failure throws EIdSocketError.
    void Send(std::uint32_t address, std::int32_t port, const QByteArray& datagram) const;

    // Datagrams dropped because no scale of ours has their address.
    std::uint64_t Ignored = 0;
    std::function<void(std::uint32_t address, const QByteArray& text)> OnIgnored;

private:
    void Received(const QByteArray& data, std::uint32_t from);  // listener thread
    void Drain();

    struct Pending {
        std::uint32_t from;
        QByteArray text;
    };

    // Declared first so it outlives the rest: queued calls aimed at it are
    // dropped by Qt once it is gone.
    std::unique_ptr<QObject> mainThreadContext_;
    std::mutex mutex_;
    std::deque<Pending> pending_;
    std::map<std::uint32_t, Sink> routes_;
    quint16 localPort_;
    TIdUDPServer server_;
};
