#pragma once
// TIdUDPServer: a UDP socket bound to a local port, with one listener thread
// that hands each datagram to OnUDPRead on that thread. Sends go out from the
// same bound socket, so the scale sees the port it answers to. Plain POSIX
// sockets: the listener must run without an event loop of its own.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

// Four decimal numbers 0-255 joined by dots, leading zeros allowed and never
// octal ("192.168.010.001" is 192.168.10.1, as typed): the address in host
// byte order. Anything else, names included, is false.
bool ParseDottedDecimal(const QString& text, std::uint32_t& address);

class EIdSocketError : public std::runtime_error {
public:
    explicit EIdSocketError(const std::string& what, int code = 0);
    int ErrorCode;
};

// One local address to bind; with no address it binds to every interface.
struct TIdSocketHandle {
    std::uint16_t Port = 0;
    int Handle = -1;

    // Sends one datagram to a dotted-decimal IPv4 host (no name lookup). Any
    // other host text, a short send or a socket failure throws EIdSocketError.
    void SendDatagram(const QString& host, std::int32_t port, const QByteArray& bytes) const;
    void SendDatagram(std::uint32_t address, std::int32_t port, const QByteArray& bytes) const;
};

class TIdUDPServer {
public:
    TIdUDPServer();
    // Closes the endpoint, waiting for the listener to end.
    ~TIdUDPServer();
    TIdUDPServer(const TIdUDPServer&) = delete;
    TIdUDPServer& operator=(const TIdUDPServer&) = delete;

    int BufferSize = 8192;
    // The socket's receive buffer (SO_RCVBUF) in bytes; 0 keeps the system's.
    // The kernel caps it at net.core.rmem_max.
    int ReceiveBufferBytes = 0;
    std::uint16_t DefaultPort = 0;
    std::vector<TIdSocketHandle> Bindings;
    // Runs on the listener thread, once per datagram, with exactly its bytes
    // and the sender's IPv4 address (host byte order). An exception out of it
    // drops that datagram; the listener goes on.
    std::function<void(const QByteArray& AData, std::uint32_t peerAddress)> OnUDPRead;
    // Runs on the listener thread before a datagram is even copied: false
    // drops it there (a sender we do not talk to).
    std::function<bool(std::uint32_t peerAddress)> AcceptFrom;

    // A new binding on DefaultPort.
    TIdSocketHandle& AddBinding();

    bool Active() const { return !Bindings.empty() && Bindings.front().Handle >= 0; }
    // true: binds every binding and starts the listener; a binding that cannot
    // be bound (port taken) throws EIdSocketError. false: stops and joins the
    // listener, then closes the sockets.
    void SetActive(bool value);
    // The first binding, once active.
    const TIdSocketHandle& ActiveBinding() const;
    // The port the first binding actually got (useful when it asked for 0).
    std::uint16_t BoundPort() const;

private:
    void Open();
    void Close();
    void Listen(std::vector<int> handles, int wakeFd, int bufferSize);
    void Deliver(std::uint32_t from, const char* data, size_t length);

    std::thread listener_;
    std::atomic<bool> stop_{false};
    int wakeFd_ = -1; // eventfd: cuts the listener's wait short on close
};
