#include "UdpPort.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <cerrno>

namespace {

// The scale's replies are a few bytes long; a received datagram is cut here.
constexpr qsizetype kMaxReplyBytes = 100;
// Texts waiting for the main thread. A sender flooding us while the main
// thread is busy loses datagrams instead of growing memory without bound.
constexpr size_t kMaxPendingReplies = 256;

} // namespace

// Receives the listener thread's wake-up on the main thread. The call is
// queued by name, so nothing our code allocates crosses threads: the texts
// themselves pass through the port's mutex, which ThreadSanitizer can see.
class TUdpMainThreadContext : public QObject {
    Q_OBJECT
public:
    explicit TUdpMainThreadContext(std::function<void()> drain) : drain_(std::move(drain)) {}
public slots:
    void Drain() { drain_(); }

private:
    std::function<void()> drain_;
};

TUdpPort::TUdpPort(quint16 localPort)
    : mainThreadContext_(std::make_unique<TUdpMainThreadContext>([this] { Drain(); })),
      localPort_(localPort)
{
    server_.BufferSize = 8192;
    server_.DefaultPort = localPort;
    server_.OnUDPRead = [this](const QByteArray& data, std::uint32_t from) { Received(data, from); };
}

TUdpPort::~TUdpPort()
{
    try {
        server_.SetActive(false);
    } catch (...) {
        // Closing is best effort; the server releases what is left.
    }
}

bool TUdpPort::Open()
{
    if (Active())
        return true;
    try {
        server_.Bindings.clear();
        server_.AddBinding();
        server_.SetActive(true);
        Cause.clear();
        return true;
    } catch (const EIdSocketError& e) {
        if (e.ErrorCode == EADDRINUSE)
            Cause = QStringLiteral("UDP port %1 in use by another program").arg(localPort_);
        else if (e.ErrorCode == EACCES || e.ErrorCode == EPERM)
            Cause = QStringLiteral("UDP port %1 needs permission: sudo setcap cap_net_bind_service=+ep %2, "
                                   "or sudo sysctl net.ipv4.ip_unprivileged_port_start=%1")
                        .arg(localPort_)
                        .arg(QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                          : QStringLiteral("/path/to/scaledb"));
        else
            Cause = QString::fromLocal8Bit(e.what());
    }
    return false;
}

void TUdpPort::AddRoute(std::uint32_t address, Sink sink)
{
    routes_[address] = std::move(sink);
}

void TUdpPort::RemoveRoute(std::uint32_t address)
{
    routes_.erase(address);
}

void TUdpPort::Send(std::uint32_t address, std::int32_t port, const QByteArray& datagram) const
{
    server_.ActiveBinding().SendDatagram(address, port, datagram);
}

void TUdpPort::Received(const QByteArray& data, std::uint32_t from)
{
    QByteArray text = data.left(kMaxReplyBytes);
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    if (text.isEmpty())
        return;

    // The upload's state lives on the main thread: hand the text over without
    // ever waiting for it. One queued call drains all that piled up meanwhile.
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (pending_.size() >= kMaxPendingReplies)
            return;
        wake = pending_.empty();
        pending_.push_back({from, std::move(text)});
    }
    if (wake)
        QMetaObject::invokeMethod(mainThreadContext_.get(), "Drain", Qt::QueuedConnection);
}

void TUdpPort::Drain()
{
    std::deque<Pending> texts;
    {
        std::lock_guard lock(mutex_);
        texts.swap(pending_);
    }
    // A sink may end up destroying its link, a route or this port (the window
    // closing), so each text checks again that they are still there.
    QPointer<QObject> alive(mainThreadContext_.get());
    for (const Pending& p : texts) {
        if (!alive)
            return;
        const auto route = routes_.find(p.from);
        if (route == routes_.end()) {
            ++Ignored;
            if (OnIgnored)
                OnIgnored(p.from, p.text);
            continue;
        }
        const Sink sink = route->second;
        sink(p.text);
    }
}

#include "UdpPort.moc"
