#include "EthConnection.h"

#include "EthProtocol.h"
#include "PostMessage.h"

#include <QHostAddress>
#include <QLocale>

#include <cerrno>
#include <cstring>

namespace {

// Only digits and dots: meant as an address, so never handed to a name lookup.
bool LooksLikeAddress(const QString& host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host)
        if (!(c.isDigit() || c == '.'))
            return false;
    return true;
}

QString NotAnAddress(const QString& host)
{
    return QStringLiteral("%1 is not an IPv4 address (four numbers 0-255)").arg(host);
}

} // namespace

CEthConnection::CEthConnection(ReplySink replySink, quint16 udpLocalPort)
    : replySink_(std::move(replySink)), udpLocalPort_(udpLocalPort)
{
}

CEthConnection::CEthConnection(ReplySink replySink, std::shared_ptr<TUdpPort> sharedUdp)
    : replySink_(std::move(replySink)), udpLocalPort_(sharedUdp ? sharedUdp->LocalPort() : 0),
      sharedUdp_(std::move(sharedUdp))
{
}

CEthConnection::~CEthConnection()
{
    try {
        if (TcpClient && TcpClient->Active()) {
            State = lsClosing;  // ours to close: no cause
            TcpClient->SetActive(false);
        }
        TcpClient.reset();
        CloseUdp();
    } catch (...) {
        // Closing is best effort; the members release what is left.
    }
}

void CEthConnection::PostState()
{
    if (OnStateChange)
        OnStateChange();
    PostMessage(StateTarget, WM_LINKSTATE, static_cast<std::intptr_t>(State), 0);
}

void CEthConnection::ToggleConnection(std::uint8_t protocol, const QString& host, std::int32_t port)
{
    if (protocol == epTCP)
        ToggleTcp(host, port);
    else if (protocol == epUDP)
        ToggleUdp(host, port);
    PostState();
}

void CEthConnection::ToggleTcp(const QString& host, std::int32_t port)
{
    if (TcpClient && TcpClient->Active()) {
        State = lsClosing;
        LastCause.clear();
        try {
            TcpClient->SetActive(false); // ClientDisconnected posts lsDisconnected
            TcpClient.reset();
        } catch (...) {
        }
        return;
    }
    if (State == lsConnecting || State == lsClosing) {
        State = lsDisconnected;
        LastCause.clear();
        if (TcpClient) {
            try {
                TcpClient->SetActive(false); // gives up an attempt still under way
            } catch (...) {
            }
        }
        return;
    }
    TcpClient.reset();
    LastCause.clear();
    // An address typed with leading zeros must not reach the resolver, which
    // reads "010" as octal and would connect to another device.
    QString target = host;
    if (LooksLikeAddress(host)) {
        std::uint32_t address = 0;
        if (!ParseDottedDecimal(host, address)) {
            State = lsDisconnected;
            LastCause = NotAnAddress(host);
            return;
        }
        target = QHostAddress(address).toString();
    }
    State = lsConnecting;
    try {
        TcpClient = std::make_unique<TClientSocket>();
        TcpClient->OnConnect = [this](TClientSocket& s) { ClientConnected(s); };
        TcpClient->OnDisconnect = [this](TClientSocket& s) { ClientDisconnected(s); };
        TcpClient->OnRead = [this](TClientSocket& s) { ClientRead(s); };
        TcpClient->OnError = [this](TClientSocket& s, TErrorEvent e, int& code) { ClientError(s, e, code); };
        TcpClient->ClientType = ctNonBlocking;
        TcpClient->Host = target;
        TcpClient->Port = port;
        TcpClient->ConnectTimeoutMs = ConnectTimeoutMs;
        TcpClient->SetActive(true);
    } catch (...) {
    }
}

void CEthConnection::CloseUdp()
{
    if (!UdpPort)
        return;
    UdpPort->RemoveRoute(udpScale_);
    UdpPort.reset(); // an endpoint of our own closes here, once its listener has ended
}

void CEthConnection::ToggleUdp(const QString& host, std::int32_t port)
{
    SendCause.clear();
    if (UdpPort) {
        State = lsDisconnected;
        LastCause.clear();
        try {
            CloseUdp();
        } catch (...) {
        }
        return;
    }
    State = lsDisconnected;
    if (!ParseDottedDecimal(host, udpScale_)) {
        LastCause = NotAnAddress(host);
        return;
    }
    try {
        std::shared_ptr<TUdpPort> udp = sharedUdp_ ? sharedUdp_ : std::make_shared<TUdpPort>(udpLocalPort_);
        if (!udp->Open()) {
            LastCause = udp->Cause;
            return;
        }
        UdpPort = std::move(udp);
        UdpPort->AddRoute(udpScale_, replySink_);
        State = lsConnected;
        LastCause.clear();
        try {
            // The opening datagram tells the scale where to answer. Its byte is
            // 0x00, the protocol's end of a command: to the scale it is an empty
            // command, never one it could act on.
            UdpPort->Send(udpScale_, port, QByteArray(1, '\0'));
        } catch (...) {
        }
    } catch (...) {
        // An endpoint that could not be opened is no connection; say so.
        State = lsDisconnected;
    }
}

void CEthConnection::SendTcpText(const QByteArray& text)
{
    if (!TcpClient || !TcpClient->Active())
        return;
    try {
        TcpClient->SendString(text);
    } catch (...) {
    }
}

bool CEthConnection::SendUdpText(const QString& host, std::int32_t port, const QByteArray& text)
{
    std::uint32_t address = 0;
    if (!UdpPort || !ParseDottedDecimal(host, address))
        return false;
    // The whole command and its 0x00 go in one datagram, up to the largest one.
    if (text.size() + 1 > MaxUdpPayload) {
        const QLocale english(QLocale::English);
        SendCause = QStringLiteral("a command of %1 bytes and its zero byte do not fit in a datagram's %2")
                        .arg(english.toString(text.size()), english.toString(MaxUdpPayload));
        return false;
    }
    try {
        QByteArray datagram = text;
        datagram.append('\0');
        UdpPort->Send(address, port, datagram);
    } catch (const std::exception& e) {
        SendCause = QString::fromLocal8Bit(e.what());
        return false;
    }
    SendCause.clear();
    return true;
}

quint16 CEthConnection::UdpBoundPort() const
{
    return UdpPort ? UdpPort->BoundPort() : 0;
}

void CEthConnection::ClientConnected(TClientSocket&)
{
    State = lsConnected;
    LastCause.clear();
    PostState();
}

void CEthConnection::ClientDisconnected(TClientSocket&)
{
    // Ours to close: no cause. Otherwise the error before it named one, or
    // the scale closed the connection.
    if (State == lsConnected && LastCause.isEmpty())
        LastCause = ConnectionLostCause;
    State = lsDisconnected;
    PostState();
}

void CEthConnection::ClientRead(TClientSocket& Socket)
{
    const QByteArray text = Socket.ReceiveString();
    if (!text.isEmpty())
        replySink_(text);
}

void CEthConnection::ClientError(TClientSocket& Socket, TErrorEvent ErrorEvent, int& ErrorCode)
{
    if (ErrorEvent == eeLookup)
        LastCause = QStringLiteral("host not found: %1").arg(Socket.Host);
    else if (ErrorEvent == eeConnect && ErrorCode == ECONNREFUSED)
        LastCause = QStringLiteral("connection refused");
    else if (ErrorEvent == eeConnect && ErrorCode == ETIMEDOUT)
        LastCause = QStringLiteral("no connection after %1 s").arg(Socket.ConnectTimeoutMs / 1000);
    else if (ErrorEvent == eeConnect)
        LastCause = QString::fromLocal8Bit(std::strerror(ErrorCode));  // "cannot connect" is the caller's to say
    else
        LastCause = QStringLiteral("connection lost: %1").arg(QString::fromLocal8Bit(std::strerror(ErrorCode)));
    ErrorCode = 0;
}
