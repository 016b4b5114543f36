#include "EthConnection.h"

#include "Global.h"
#include "PostMessage.h"

#include <QMetaObject>
#include <QPointer>

namespace {

// The scale's replies are a few bytes long; a received datagram is cut here.
constexpr qsizetype kMaxReplyBytes = 100;
// Texts waiting for the main thread. A sender flooding us while the main
// thread is busy loses datagrams instead of growing memory without bound.
constexpr size_t kMaxPendingReplies = 256;

} // namespace

// Receives the listener thread's wake-up on the main thread. The call is
// queued by name, so nothing our code allocates crosses threads: the texts
// themselves pass through the link's mutex, which ThreadSanitizer can see.
class CEthMainThreadContext : public QObject {
    Q_OBJECT
public:
    explicit CEthMainThreadContext(std::function<void()> drain) : drain_(std::move(drain)) {}
public slots:
    void Drain() { drain_(); }

private:
    std::function<void()> drain_;
};

CEthConnection::CEthConnection(ReplySink replySink, quint16 udpLocalPort)
    : mainThreadContext_(std::make_unique<CEthMainThreadContext>([this] { DrainUdpReplies(); })),
      replySink_(std::move(replySink)),
      udpLocalPort_(udpLocalPort)
{
}

CEthConnection::~CEthConnection()
{
    try {
        if (TcpClient && TcpClient->Active())
            TcpClient->SetActive(false);
        TcpClient.reset();
        if (UdpServer && UdpServer->Active())
            UdpServer->SetActive(false);
        UdpServer.reset();
    } catch (...) {
        // Closing is best effort; the members release what is left.
    }
}

void CEthConnection::PostState()
{
    PostMessage(MainWindowHandle, WM_LINKSTATE, static_cast<std::intptr_t>(State), 0);
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
        try {
            TcpClient->SetActive(false); // ClientDisconnected posts lsDisconnected
            TcpClient.reset();
        } catch (...) {
        }
        return;
    }
    if (State == lsConnecting || State == lsClosing) {
        State = lsDisconnected;
        if (TcpClient) {
            try {
                TcpClient->SetActive(false); // gives up an attempt still under way
            } catch (...) {
            }
        }
        return;
    }
    TcpClient.reset();
    State = lsConnecting;
    try {
        TcpClient = std::make_unique<TClientSocket>();
        TcpClient->OnConnect = [this](TClientSocket& s) { ClientConnected(s); };
        TcpClient->OnDisconnect = [this](TClientSocket& s) { ClientDisconnected(s); };
        TcpClient->OnRead = [this](TClientSocket& s) { ClientRead(s); };
        TcpClient->OnError = [this](TClientSocket& s, TErrorEvent e, int& code) { ClientError(s, e, code); };
        TcpClient->ClientType = ctNonBlocking;
        TcpClient->Host = host;
        TcpClient->Port = port;
        TcpClient->SetActive(true);
    } catch (...) {
    }
}

void CEthConnection::ToggleUdp(const QString& host, std::int32_t port)
{
    if (UdpServer && UdpServer->Active()) {
        try {
            State = lsDisconnected;
            UdpServer->SetActive(false); // returns once the listener has ended
            UdpServer.reset();
        } catch (...) {
        }
        return;
    }
    UdpServer.reset();
    try {
        State = lsConnected;
        UdpServer = std::make_unique<TIdUDPServer>();
        UdpServer->BufferSize = 8192;
        UdpServer->Bindings.clear();
        UdpServer->DefaultPort = udpLocalPort_;
        UdpServer->AddBinding();
        UdpServer->OnUDPRead = [this](const QByteArray& data) { UdpRead(data); };
        UdpServer->SetActive(true);
        try {
            // The opening datagram tells the scale where to answer. Its byte is
            // 0x00, the protocol's end of a command: to the scale it is an empty
            // command, never one it could act on.
            if (UdpServer->Active())
                UdpServer->ActiveBinding().SendDatagram(host, port, QByteArray(1, '\0'));
        } catch (...) {
        }
    } catch (...) {
    }
    // An endpoint that could not be opened is no connection; say so.
    if (!UdpServer || !UdpServer->Active())
        State = lsDisconnected;
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

void CEthConnection::SendUdpText(const QString& host, std::int32_t port, const QByteArray& text)
{
    if (!UdpServer || !UdpServer->Active())
        return;
    try {
        // The whole command and its 0x00 go in one datagram, however long.
        QByteArray datagram = text;
        datagram.append('\0');
        UdpServer->ActiveBinding().SendDatagram(host, port, datagram);
    } catch (...) {
    }
}

quint16 CEthConnection::UdpBoundPort() const
{
    return UdpServer ? UdpServer->BoundPort() : 0;
}

void CEthConnection::ClientConnected(TClientSocket&)
{
    State = lsConnected;
    PostState();
}

void CEthConnection::ClientDisconnected(TClientSocket&)
{
    State = lsDisconnected;
    PostState();
}

void CEthConnection::ClientRead(TClientSocket& Socket)
{
    const QByteArray text = Socket.ReceiveString();
    if (!text.isEmpty())
        replySink_(text);
}

void CEthConnection::ClientError(TClientSocket&, TErrorEvent, int& ErrorCode)
{
    ErrorCode = 0;
}

void CEthConnection::UdpRead(const QByteArray& AData)
{
    QByteArray text;
    if (AData.size() > 0) {
        try {
            text = AData.left(kMaxReplyBytes);
            const qsizetype zero = text.indexOf('\0');
            if (zero >= 0)
                text.truncate(zero);
        } catch (...) {
            text.clear();
        }
    }
    if (text.isEmpty())
        return;

    // The upload's state lives on the main thread: hand the text over without
    // ever waiting for it. One queued call drains all that piled up meanwhile.
    bool wake = false;
    {
        std::lock_guard lock(udpMutex_);
        if (udpPending_.size() >= kMaxPendingReplies)
            return;
        wake = udpPending_.empty();
        udpPending_.push_back(std::move(text));
    }
    if (wake)
        QMetaObject::invokeMethod(mainThreadContext_.get(), "Drain", Qt::QueuedConnection);
}

void CEthConnection::DrainUdpReplies()
{
    std::deque<QByteArray> texts;
    {
        std::lock_guard lock(udpMutex_);
        texts.swap(udpPending_);
    }
    // The sink may end up destroying the link (the window closing), so each
    // call checks that the link is still there.
    const ReplySink sink = replySink_;
    QPointer<QObject> alive(mainThreadContext_.get());
    for (const QByteArray& text : texts) {
        if (!alive)
            return;
        sink(text);
    }
}

#include "EthConnection.moc"
