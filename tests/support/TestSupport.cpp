#include "TestSupport.h"

#include "AppFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    // A program the test starts must not hold the pair: closing the master
    // would then be no hang-up.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    slavePath_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    CloseMaster();
    if (slave_ >= 0)
        ::close(slave_);
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::Write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray PtyPair::Read(int timeoutMs)
{
    QByteArray out;
    pollfd p{master_, POLLIN, 0};
    if (master_ < 0 || ::poll(&p, 1, timeoutMs) <= 0)
        return out;
    char buf[4096];
    for (;;) {
        pollfd q{master_, POLLIN, 0};
        if (::poll(&q, 1, 0) <= 0 || !(q.revents & POLLIN))
            break;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray PtyPair::ReadExactly(int count, int timeoutMs)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (out.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        out += Read(10);
    }
    return out;
}

ExclusiveHold::ExclusiveHold(const QString& path)
{
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd_, TIOCEXCL) == 0;
}

ExclusiveHold::~ExclusiveHold()
{
    if (fd_ < 0)
        return;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

ScratchSerialTree::ScratchSerialTree()
{
    QDir(dir_.path()).mkpath(QStringLiteral("class/tty"));
    QDir(dir_.path()).mkpath(QStringLiteral("by-id"));
    QDir(dir_.path()).mkpath(QStringLiteral("dev"));
}

void ScratchSerialTree::AddPort(const QString& kernel)
{
    QVERIFY(QDir(Tty()).mkpath(kernel + QStringLiteral("/device/driver")));
}

void ScratchSerialTree::AddAdapter(const QString& kernel, const QString& usbDevice, const QByteArray& product,
                                   const QByteArray& serial)
{
    // The hub above has texts of its own, which are not the adapter's.
    const QString hub = dir_.filePath(QStringLiteral("devices/usb1"));
    const QString usb = hub + QLatin1Char('/') + usbDevice;
    const QString iface = usb + QLatin1Char('/') + usbDevice + QStringLiteral(":1.0");
    const bool acm = kernel.startsWith(QLatin1String("ttyACM"));
    const QString device = acm ? iface : iface + QLatin1Char('/') + kernel;
    QVERIFY(QDir().mkpath(device + QStringLiteral("/driver")));
    WriteAll(hub + QStringLiteral("/idVendor"), "1d6b\n");
    WriteAll(hub + QStringLiteral("/product"), "xHCI Host Controller\n");
    WriteAll(hub + QStringLiteral("/serial"), "0000:00:14.0\n");
    WriteAll(usb + QStringLiteral("/idVendor"), "0403\n");
    if (!product.isEmpty())
        WriteAll(usb + QStringLiteral("/product"), product + '\n');
    if (!serial.isEmpty())
        WriteAll(usb + QStringLiteral("/serial"), serial + '\n');
    QVERIFY(QDir(Tty()).mkpath(kernel));
    QVERIFY(QFile::link(device, Tty() + QLatin1Char('/') + kernel + QStringLiteral("/device")));
}

QString ScratchSerialTree::Link(const QString& name, const QString& kernel, const QString& node)
{
    const QString link = ById() + QLatin1Char('/') + name;
    const QString dev = dir_.filePath(QStringLiteral("dev/")) + kernel;
    QFile::remove(link);
    QFile::remove(dev);
    if (!node.isEmpty() && !QFile::link(node, dev))
        QTest::qFail("cannot link the device node", __FILE__, __LINE__);
    if (!QFile::link(QStringLiteral("../dev/") + kernel, link)) // relative, as udev makes them
        QTest::qFail("cannot make the by-id link", __FILE__, __LINE__);
    return link;
}

ScratchAppFolder::ScratchAppFolder()
{
    SetAppFolder(dir_.path());
}

ScratchAppFolder::~ScratchAppFolder()
{
    SetAppFolder({});
}

QString ScratchAppFolder::Path() const
{
    return dir_.path() + '/';
}

ScaleSim::ScaleSim(const QString& mode, const QStringList& extra, quint16 port)
{
    const qsizetype count = extra.indexOf(QStringLiteral("--count"));
    count_ = count >= 0 ? extra.value(count + 1).toInt() : 1;
    record_ = dir_.filePath(count_ > 1 ? QStringLiteral("records") : QStringLiteral("record.bin"));
    QStringList args{QStringLiteral("--") + mode};
    if (mode != QLatin1String("serial"))
        args << QString::number(port);
    args << QStringLiteral("--record") << record_ << extra;
    proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The simulator ends with the test, even when the test is killed or aborts:
    // a simulator left behind would hold CTest's output pipe open.
    proc_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    proc_.start(qEnvironmentVariable("SCALE_SIM"), args);
    if (!proc_.waitForStarted(5000))
        return;
    // One line per scale: "READY serial /dev/pts/3" or "READY tcp 127.0.0.1 40123"
    QDeadlineTimer deadline(10000);
    while (endpoints_.size() < count_ && !deadline.hasExpired()) {
        if (!proc_.canReadLine() && !proc_.waitForReadyRead(100))
            continue;
        const QList<QByteArray> parts = proc_.readLine().trimmed().split(' ');
        if (parts.size() < 3 || parts[0] != "READY")
            return;
        if (parts[1] == "serial") {
            endpoints_ << QString::fromLocal8Bit(parts[2]);
        } else if (parts.size() >= 4) {
            endpoints_ << QString::fromLatin1(parts[2]);
            ports_ << static_cast<quint16>(parts[3].toUInt());
        }
    }
    started_ = endpoints_.size() == count_;
}

ScaleSim::~ScaleSim()
{
    proc_.terminate();
    if (!proc_.waitForFinished(3000)) {
        proc_.kill();
        proc_.waitForFinished(3000);
    }
}

QByteArray ScaleSim::Recorded(int scale) const
{
    return ReadAll(count_ > 1 ? QStringLiteral("%1/%2.bin").arg(record_).arg(scale + 1) : record_);
}

bool ScaleSim::WaitRecorded(int bytes, int timeoutMs, int scale) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (Recorded(scale).size() < bytes) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}
