#include "ClientSocket.h"

#include <QMetaObject>
#include <QNetworkProxy>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <string>
#include <utility>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A plain socket's failure to connect, as the code QTcpSocket's error gives
// (ErrnoOf): the texts a user reads stay those of either way.
int ConnectErrno(int error)
{
    switch (error) {
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EADDRINUSE: return ENETDOWN;
    case EACCES:
    case EPERM: return EACCES;
    default: return ECONNREFUSED;
    }
}

// The same for a socket that could not be made.
int SocketErrno(int error)
{
    switch (error) {
    case EACCES: return EACCES;
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT:
    case EINVAL: return EOPNOTSUPP;
    default: return ENOBUFS;
    }
}

} // namespace

ESocketError::ESocketError(TErrorEvent event, int code)
    : std::runtime_error("Socket error " + std::to_string(code)), Event(event), ErrorCode(code)
{
}

TClientSocket::TClientSocket()
    : readable_(QSocketNotifier::Read, [this] { ReadReady(); }), writable_(QSocketNotifier::Write, [this] { Writable(); })
{
    connectTimer_.setSingleShot(true);
    connectTimer_.setTimerType(Qt::PreciseTimer);
    connect(&connectTimer_, &QTimer::timeout, this, &TClientSocket::ConnectTimedOut);
}

TClientSocket::~TClientSocket()
{
    ReleaseSocket();
    CloseDescriptor();
}

void TClientSocket::SetActive(bool value)
{
    if (value) {
        if (!active_ && !attempting_)
            Open();
        return;
    }
    if (active_) {
        CloseDescriptor();
        FinishConnection();
    } else if (attempting_) {
        attempting_ = false;
        connectTimer_.stop();
        ReleaseSocket();
        CloseDescriptor();
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
    attempting_ = true;
    connectTimer_.start(ConnectTimeoutMs);
    if (ConnectDirect())
        return;
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
    socket_->connectToHost(Host, static_cast<quint16>(Port));
}

// An address needs no lookup, and a QTcpSocket would cost more than the
// whole upload's commands: a socket of our own connects. False for a host
// name. A failure comes later, never inside SetActive, as QTcpSocket's would.
bool TClientSocket::ConnectDirect()
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<quint16>(Port));
    if (::inet_pton(AF_INET, Host.toLatin1().constData(), &a.sin_addr) != 1)
        return false;
    int code = 0;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        code = SocketErrno(errno);
    } else {
        ++connection_;
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 || errno == EINPROGRESS) {
            writable_.Start(fd_);  // writable once connected or refused
            readable_.Start(fd_, false);
            return true;
        }
        code = ConnectErrno(errno);
    }
    const auto fail = [this, code, connection = connection_] {
        if (attempting_ && connection == connection_)
            FailAttempt(eeConnect, code);
    };
    QMetaObject::invokeMethod(this, fail, Qt::QueuedConnection);
    return true;
}

void TClientSocket::Writable()
{
    if (attempting_)
        ConnectDone();
    else
        WriteReady();
}

void TClientSocket::ConnectDone()
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
        error = errno;
    if (error != 0) {
        FailAttempt(eeConnect, ConnectErrno(error));
        return;
    }
    // Read on before write off: the descriptor stays in the epoll set.
    readable_.SetEnabled(true);
    writable_.SetEnabled(false);
    SocketConnected();
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
    if (socket_)
        TakeDescriptor();
    if (fd_ < 0) {
        FailAttempt(eeConnect, errno);
        return;
    }
    active_ = true;
    const QPointer<TClientSocket> alive(this);  // the owner may let go of it on connect
    if (OnConnect)
        OnConnect(*this);
    if (alive && !received_.isEmpty() && active_ && OnRead)
        OnRead(*this);
}

// A duplicate of QTcpSocket's descriptor keeps the connection open when the
// socket closes its own: closing one of two descriptors sends nothing.
void TClientSocket::TakeDescriptor()
{
    fd_ = ::fcntl(static_cast<int>(socket_->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    ++connection_;
    const int flags = ::fcntl(fd_, F_GETFL);
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    received_ = socket_->readAll();  // whatever the socket took in before it was connected to us
    ReleaseSocket();
    readable_.Start(fd_);
    writable_.Start(fd_, false);
}

// The watches may be inside their own callback here (a reply whose reader
// closes the link): they let the descriptor go at once.
void TClientSocket::CloseDescriptor()
{
    if (fd_ < 0)
        return;
    readable_.Stop();
    writable_.Stop();
    ::close(fd_);
    fd_ = -1;
    unsent_.clear();
}

void TClientSocket::ReadReady()
{
    char buffer[16384];
    ssize_t n;
    do
        n = ::recv(fd_, buffer, sizeof buffer, 0);
    while (n < 0 && errno == EINTR);
    if (n > 0) {
        if (!OnRead)
            return;  // no one to read it: not kept
        received_.append(buffer, n);
        OnRead(*this);
    } else if (n == 0) {
        CloseDescriptor();  // the scale closed the connection
        FinishConnection();
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
        Broken(errno);
    }
}

void TClientSocket::WriteReady()
{
    ssize_t n;
    do
        n = ::send(fd_, unsent_.constData(), static_cast<size_t>(unsent_.size()), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            Broken(errno);
        return;
    }
    unsent_.remove(0, n);
    if (unsent_.isEmpty())
        writable_.SetEnabled(false);
}

// The connection failed under a read or a write: as the socket would, the
// cause is raised (a reset is the scale's close, not a failure) and the
// connection ends.
void TClientSocket::Broken(int code)
{
    if (!active_)
        return;
    CloseDescriptor();
    if (code != ECONNRESET && code != EPIPE && ErrorStays(eeReceive, code))
        RaiseLater(eeReceive, code);
    FinishConnection();
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
    CloseDescriptor();
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
    if (!active_ || fd_ < 0)
        throw ESocketError(eeSend, ENOTCONN);
    if (!unsent_.isEmpty()) {
        unsent_.append(text);  // after what still waits, in order
        return text.size();
    }
    ssize_t n;
    do
        n = ::send(fd_, text.constData(), static_cast<size_t>(text.size()), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        // Taken, as a socket's buffer would take it; the failure ends the
        // connection once the caller's turn is over.
        const int code = errno;
        const auto fail = [this, code, connection = connection_] {
            if (connection == connection_)
                Broken(code);
        };
        QMetaObject::invokeMethod(this, fail, Qt::QueuedConnection);
        return text.size();
    }
    if (n < text.size()) {
        unsent_ = text.mid(n < 0 ? 0 : n);
        writable_.SetEnabled(true);
    }
    return text.size();
}

QByteArray TClientSocket::ReceiveString()
{
    return std::exchange(received_, {});
}
