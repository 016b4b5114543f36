#pragma once
// TUdpPort: one local UDP endpoint for every scale reached over UDP. A scale
// may answer from any port, so a datagram belongs to the scale whose address
// it comes from. One from any other address is dropped on the listener
// thread, before any queue, so a stranger's flood cannot crowd out the
// scales' replies; it is only counted, and the counts are reported on the
// main thread at most once a second. The routing and the sinks run on the
// main thread.
#include "IdUdpServer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

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

    // Datagrams dropped so far because no scale of ours has their address.
    std::uint64_t Ignored() const;
    // On the main thread, about a second after the first of them: how many
    // datagrams came from each address since the last report. Address 0
    // stands for the addresses past the ones counted one by one.
    std::function<void(std::uint32_t address, std::uint64_t count)> OnIgnored;

private:
    bool Accepts(std::uint32_t from);  // listener thread: a scale's address, else counted
    void Received(const QByteArray& data, std::uint32_t from);  // listener thread
    void Drain();
    // Counts a datagram nobody of ours sent; true when a report must be armed.
    bool CountStranger(std::uint32_t from);
    void ArmReport();
    void Report();

    struct Pending {
        std::uint32_t from;
        QByteArray text;
    };

    // Declared first so it outlives the rest: queued calls aimed at it are
    // dropped by Qt once it is gone.
    std::unique_ptr<QObject> mainThreadContext_;
    mutable std::mutex mutex_;
    std::deque<Pending> pending_;             // under mutex_
    std::set<std::uint32_t> routed_;          // under mutex_: the listener's copy of the routes' addresses
    std::map<std::uint32_t, std::uint64_t> strangers_;  // under mutex_: ignored since the last report
    std::uint64_t ignored_ = 0;               // under mutex_
    bool reportDue_ = false;                  // under mutex_: a report is armed or asked for
    std::map<std::uint32_t, Sink> routes_;    // main thread
    quint16 localPort_;
    TIdUDPServer server_;
};
