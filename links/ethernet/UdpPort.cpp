#include "UdpPort.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <cerrno>

namespace {

// The scale's replies are a few bytes long; a received datagram is cut here.
constexpr qsizetype kMaxReplyBytes = 100;
// Texts waiting for the main thread. A sender flooding us while the main
// thread is busy loses datagrams instead of growing memory without bound.
constexpr size_t kMaxPendingReplies = 256;
// Strangers counted one by one; past these, under address 0.
constexpr size_t kMaxStrangers = 64;
// Room for a flood's datagrams while the listener catches up; the kernel
// caps it at net.core.rmem_max.
constexpr int kReceiveBufferBytes = 4 << 20;
constexpr int kReportMs = 1000;

} // namespace

// Receives the listener thread's wake-ups on the main thread. The calls are
// queued by name, so nothing our code allocates crosses threads: the texts
// and counts themselves pass through the port's mutex, which ThreadSanitizer
// can see.
class TUdpMainThreadContext : public QObject {
    Q_OBJECT
public:
    TUdpMainThreadContext(std::function<void()> drain, std::function<void()> arm)
        : drain_(std::move(drain)), arm_(std::move(arm))
    {
    }
    QTimer Report;  // the next report of ignored datagrams, while armed
public slots:
    void Drain() { drain_(); }
    void ArmReport() { arm_(); }

private:
    std::function<void()> drain_;
    std::function<void()> arm_;
};

TUdpPort::TUdpPort(quint16 localPort)
    : mainThreadContext_(std::make_unique<TUdpMainThreadContext>([this] { Drain(); }, [this] { ArmReport(); })),
      localPort_(localPort)
{
    auto& report = static_cast<TUdpMainThreadContext&>(*mainThreadContext_).Report;
    report.setSingleShot(true);
    report.setTimerType(Qt::PreciseTimer);
    report.setInterval(kReportMs);
    QObject::connect(&report, &QTimer::timeout, mainThreadContext_.get(), [this] { Report(); });
    server_.BufferSize = 8192;
    server_.ReceiveBufferBytes = kReceiveBufferBytes;
    server_.DefaultPort = localPort;
    server_.AcceptFrom = [this](std::uint32_t from) { return Accepts(from); };
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
    std::lock_guard lock(mutex_);
    routed_.insert(address);
}

void TUdpPort::RemoveRoute(std::uint32_t address)
{
    routes_.erase(address);
    std::lock_guard lock(mutex_);
    routed_.erase(address);
}

std::uint64_t TUdpPort::Ignored() const
{
    std::lock_guard lock(mutex_);
    return ignored_;
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
        if (route == routes_.end()) {  // its route went while the text waited
            if (CountStranger(p.from))
                ArmReport();
            continue;
        }
        const Sink sink = route->second;
        sink(p.text);
    }
}

bool TUdpPort::Accepts(std::uint32_t from)
{
    {
        std::lock_guard lock(mutex_);
        if (routed_.count(from))
            return true;
    }
    if (CountStranger(from))
        QMetaObject::invokeMethod(mainThreadContext_.get(), "ArmReport", Qt::QueuedConnection);
    return false;
}

bool TUdpPort::CountStranger(std::uint32_t from)
{
    std::lock_guard lock(mutex_);
    ++ignored_;
    if (strangers_.size() < kMaxStrangers || strangers_.count(from))
        ++strangers_[from];
    else
        ++strangers_[0];
    const bool arm = !reportDue_;
    reportDue_ = true;
    return arm;
}

void TUdpPort::ArmReport()
{
    QTimer& report = static_cast<TUdpMainThreadContext&>(*mainThreadContext_).Report;
    if (!report.isActive())
        report.start();
}

// One line per address and second at most, however fast they come.
void TUdpPort::Report()
{
    std::map<std::uint32_t, std::uint64_t> counts;
    {
        std::lock_guard lock(mutex_);
        counts.swap(strangers_);
        reportDue_ = false;
    }
    QPointer<QObject> alive(mainThreadContext_.get());
    for (const auto& [address, count] : counts) {
        if (!alive || !OnIgnored)
            return;
        OnIgnored(address, count);
    }
}

#include "UdpPort.moc"
