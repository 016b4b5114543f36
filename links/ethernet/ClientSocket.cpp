#include "ClientSocket.h"

#include <QMetaObject>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <cerrno>
#include <string>

namespace {

// Error codes are errno values, as everywhere else in the program.
int ErrnoOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::DatagramTooLargeError: return EMSGSIZE;
    case QAbstractSocket::NetworkError: return ENETDOWN;
    case QAbstractSocket::AddressInUseError: return EADDRINUSE;
    case QAbstractSocket::SocketAddressNotAvailableError: return EADDRNOTAVAIL;
    case QAbstractSocket::UnsupportedSocketOperationError: return EOPNOTSUPP;
    default: return EIO;
    }
}

} // namespace

ESocketError::ESocketError(TErrorEvent event, int code)
    : std::runtime_error("Socket error " + std::to_string(code)), Event(event), ErrorCode(code)
{
}

TClientSocket::TClientSocket()
{
    connectTimer_.setSingleShot(true);
    connectTimer_.setTimerType(Qt::PreciseTimer);
    connect(&connectTimer_, &QTimer::timeout, this, &TClientSocket::ConnectTimedOut);
}

TClientSocket::~TClientSocket()
{
    ReleaseSocket();
}

void TClientSocket::SetActive(bool value)
{
    if (value) {
        if (!active_ && !attempting_)
            Open();
        return;
    }
    if (active_) {
        ReleaseSocket();
        FinishConnection();
    } else if (attempting_) {
        attempting_ = false;
        connectTimer_.stop();
        ReleaseSocket();
    }
}

void TClientSocket::Open()
{
    if (ClientType != ctNonBlocking)
        throw ESocketError(eeGeneral, EOPNOTSUPP);
    if (Host.isEmpty()) {
        // Nothing to look up: the attempt ends before it starts.
        if (OnDisconnect)
            OnDisconnect(*this);
        return;
    }
    ReleaseSocket();
    socket_ = new QTcpSocket;
    // A scale is reached directly on the local network, never through a proxy
    // (and the system proxy query would run on a thread of its own).
    socket_->setProxy(QNetworkProxy::NoProxy);
    connect(socket_, &QTcpSocket::connected, this, &TClientSocket::SocketConnected);
    connect(socket_, &QTcpSocket::disconnected, this, &TClientSocket::SocketDisconnected);
    connect(socket_, &QTcpSocket::readyRead, this, [this] {
        if (OnRead)
            OnRead(*this);
    });
    connect(socket_, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { SocketError(error); });
    attempting_ = true;
    connectTimer_.start(ConnectTimeoutMs);
    socket_->connectToHost(Host, static_cast<quint16>(Port));
}

// The socket may be inside one of its own signals here, so it is detached
// and deleted later rather than at once.
void TClientSocket::ReleaseSocket()
{
    if (!socket_)
        return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void TClientSocket::SocketConnected()
{
    if (!attempting_)
        return;
    attempting_ = false;
    connectTimer_.stop();
    active_ = true;
    if (OnConnect)
        OnConnect(*this);
}

void TClientSocket::SocketDisconnected()
{
    if (active_)
        FinishConnection();
}

void TClientSocket::SocketError(int error)
{
    const auto kind = static_cast<QAbstractSocket::SocketError>(error);
    if (attempting_) {
        FailAttempt(kind == QAbstractSocket::HostNotFoundError ? eeLookup : eeConnect, ErrnoOf(kind));
        return;
    }
    if (!active_)
        return;
    // The peer's orderly close is no failure; the disconnect that follows says it all.
    if (kind != QAbstractSocket::RemoteHostClosedError) {
        int code = ErrnoOf(kind);
        if (ErrorStays(eeReceive, code))
            RaiseLater(eeReceive, code);
    }
    if (socket_ && socket_->state() == QAbstractSocket::UnconnectedState)
        FinishConnection();
}

void TClientSocket::ConnectTimedOut()
{
    if (attempting_)
        FailAttempt(eeConnect, ETIMEDOUT);
}

// A failed attempt ends in OnDisconnect, so the owner never waits for ever
// on a connection that will not come.
void TClientSocket::FailAttempt(TErrorEvent event, int code)
{
    attempting_ = false;
    connectTimer_.stop();
    ReleaseSocket();
    const bool raise = ErrorStays(event, code);
    if (OnDisconnect)
        OnDisconnect(*this);
    if (raise)
        RaiseLater(event, code);
}

void TClientSocket::FinishConnection()
{
    if (!active_)
        return;
    active_ = false;
    if (OnDisconnect)
        OnDisconnect(*this);
}

bool TClientSocket::ErrorStays(TErrorEvent event, int& code)
{
    if (OnError)
        OnError(*this, event, code);
    return code != 0;
}

// Thrown from a queued call, never from inside QTcpSocket's own signal, which
// could not unwind cleanly; the application's handler of stray errors gets it.
void TClientSocket::RaiseLater(TErrorEvent event, int code)
{
    QMetaObject::invokeMethod(this, [event, code] { throw ESocketError(event, code); },
                              Qt::QueuedConnection);
}

qint64 TClientSocket::SendString(const QByteArray& text)
{
    if (!active_ || !socket_)
        throw ESocketError(eeSend, ENOTCONN);
    const qint64 taken = socket_->write(text);
    if (taken < 0) {
        int code = ErrnoOf(socket_->error());
        if (ErrorStays(eeSend, code))
            throw ESocketError(eeSend, code);
        return 0;
    }
    socket_->flush();
    return taken;
}

QByteArray TClientSocket::ReceiveString()
{
    if (!socket_)
        return {};
    return socket_->readAll();
}
