// This file exists to keep every termios, ioctl and descriptor call of the
// serial component in one place, so another backend could stand beside it.
#include "SerialDevice.h"
#include "SerialTermios.h"
#include "BaudConstant.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Calls that a pseudo-terminal (or other device without modem lines or error
// counters) refuses, which we take as "nothing to report".
bool Unsupported(int err)
{
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}


bool SetDataBits(std::uint8_t size, tcflag_t& cflag)
{
    tcflag_t bits = 0;
    switch (size) {
    case 5: bits = CS5; break;
    case 6: bits = CS6; break;
    case 7: bits = CS7; break;
    case 8: bits = CS8; break;
    default: return false;
    }
    cflag = (cflag & ~CSIZE) | bits;
    return true;
}

bool SetParity(std::uint8_t parity, tcflag_t& cflag)
{
    cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case 0: break;
    case 1: cflag |= PARENB | PARODD; break;
    case 2: cflag |= PARENB; break;
    case 3: cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: cflag |= PARENB | CMSPAR; break;
    default: return false;
    }
    return true;
}

bool SetStopBits(std::uint8_t stopBits, tcflag_t& cflag)
{
    // POSIX has no one and a half stop bits; two is the nearest a receiver accepts.
    switch (stopBits) {
    case 0: cflag &= ~CSTOPB; break;
    case 1:
    case 2: cflag |= CSTOPB; break;
    default: return false;
    }
    return true;
}

void SetBaudRate(std::uint32_t rate, termios2& t)
{
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT)); // input rate follows the output rate
    // A rate without a B constant is given in c_ispeed/c_ospeed alone.
    const tcflag_t constant = BaudConstant(rate);
    t.c_cflag |= constant ? constant : BOTHER;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
}

void SetFlowControl(const TDCB& d, termios2& t)
{
    // The kernel has one switch for both directions of RTS/CTS, and nothing for DSR/DTR.
    if ((d.Flags & dcb::fOutxCtsFlow) || dcb::RtsControl(d) == dcb::RtsHandshake)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (d.Flags & dcb::fOutX)
        t.c_iflag |= IXON;
    if (d.Flags & dcb::fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar);
}

int ModemBits(int fd, int request, int bits)
{
    if (::ioctl(fd, request, &bits) == 0)
        return 0;
    return Unsupported(errno) ? 0 : errno;
}

bool HasHardware(const QString& entry)
{
    if (!QFile::exists(entry + QStringLiteral("/device/driver")))
        return false;
    // A legacy UART slot without a chip behind it reports type 0 (unknown).
    QFile type(entry + QStringLiteral("/type"));
    if (type.open(QIODevice::ReadOnly))
        return type.readAll().trimmed() != "0";
    return true;
}

}

bool DcbToTermios(const TDCB& d, termios2& t)
{
    if (d.BaudRate == 0)
        return false;
    termios2 n = t;
    if (!SetDataBits(d.ByteSize, n.c_cflag) || !SetParity(d.Parity, n.c_cflag) || !SetStopBits(d.StopBits, n.c_cflag))
        return false;
    SetBaudRate(d.BaudRate, n);

    n.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL | INPCK | IGNPAR);
    // Without INPCK a byte with a parity error passes unchanged and is only
    // counted; with it the byte reads as NUL, the only replacement POSIX has.
    if ((d.Flags & dcb::fParity) && (d.Flags & dcb::fErrorChar))
        n.c_iflag |= INPCK;
    n.c_oflag &= ~OPOST;
    n.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | XCASE);
    n.c_cflag |= CREAD | CLOCAL;
    n.c_cc[VMIN] = 1;
    n.c_cc[VTIME] = 0;
    SetFlowControl(d, n);
    t = n;
    return true;
}

TOutputLines OutputLinesFor(const TDCB& d)
{
    TOutputLines lines;
    // No DTR/DSR handshake here: a handshaking DTR is simply raised.
    lines.Dtr = dcb::DtrControl(d) != dcb::DtrDisable;
    // Toggle raises RTS only while sending on the original; idle it is low.
    const std::uint32_t rts = dcb::RtsControl(d);
    lines.Rts = rts == dcb::RtsEnable || rts == dcb::RtsHandshake;
    return lines;
}

QString DevicePath(const QString& port)
{
    if (port.startsWith(QLatin1Char('/')))
        return port;
    if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        bool ok = false;
        const int n = port.mid(3).toInt(&ok);
        if (ok && n >= 1 && port.mid(3).front().isDigit())
            return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    return QStringLiteral("/dev/") + port;
}

int TSerialDevice::Open(const QString& path)
{
    Close();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // TIOCEXCL keeps other users out, but not root; the lock covers root too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        return err;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    // A USB adapter holds received bytes up to its latency timer (16 ms on
    // FTDI) before passing them on; low latency makes it 1 ms. Drivers
    // without it, and pseudo-terminals, refuse: the device works as it is.
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    fd_ = fd;
    timeouts_ = {};
    bool supported = false;
    seen_ = {};
    ReadCounters(seen_, supported); // errors from before the open are not ours
    return 0;
}

void TSerialDevice::Close()
{
    if (fd_ < 0)
        return;
    ::ioctl(fd_, TIOCNXCL); // the flag outlives us while others hold the device
    ::close(fd_);           // also releases the lock
    fd_ = -1;
}

int TSerialDevice::SetLine(const TDCB& d)
{
    termios2 t{};
    if (::ioctl(fd_, TCGETS2, &t) != 0)
        return errno;
    if (!DcbToTermios(d, t))
        return EINVAL;
    if (::ioctl(fd_, TCSETS2, &t) != 0)
        return errno;
    const TOutputLines lines = OutputLinesFor(d);
    if (const int err = ModemBits(fd_, lines.Dtr ? TIOCMBIS : TIOCMBIC, TIOCM_DTR))
        return err;
    return ModemBits(fd_, lines.Rts ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
}

int TSerialDevice::SetQueueSizes(std::int32_t, std::int32_t)
{
    if (fd_ < 0)
        return EBADF;
    // The kernel sizes tty queues itself; there is nothing to ask for.
    return 0;
}

int TSerialDevice::SetTimeouts(const TDeviceTimeouts& timeouts)
{
    if (fd_ < 0)
        return EBADF;
    timeouts_ = timeouts;
    return 0;
}

std::int64_t TSerialDevice::WriteLimitMs(std::int64_t size) const
{
    if (timeouts_.WriteTotalMultiplier == 0 && timeouts_.WriteTotalConstant == 0)
        return -1;
    const std::uint64_t ms = std::uint64_t(timeouts_.WriteTotalMultiplier) * std::uint64_t(size)
        + timeouts_.WriteTotalConstant;
    return static_cast<std::int64_t>(std::min<std::uint64_t>(ms, INT_MAX));
}

int TSerialDevice::Write(const char* data, std::int32_t size, std::int32_t& written)
{
    using Clock = std::chrono::steady_clock;
    written = 0;
    const std::int64_t limitMs = WriteLimitMs(size);
    const bool bounded = limitMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(bounded ? limitMs : 0);
    for (;;) {
        std::int32_t now = 0;
        if (const int err = WriteSome(data + written, size - written, now); err != 0)
            return err;
        written += now;
        if (written == size)
            return 0;
        int waitMs = -1;
        if (bounded) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return 0; // timed out: the count says how far it got
            waitMs = static_cast<int>(std::min<long long>(left, INT_MAX));
        }
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, waitMs);
        if (r < 0 && errno != EINTR)
            return errno;
        if (r == 0)
            return 0;
    }
}

int TSerialDevice::WriteSome(const char* data, std::int32_t size, std::int32_t& written) const
{
    written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd_, data + written, static_cast<size_t>(size - written));
        if (n > 0) {
            written += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        break; // the device takes no more now
    }
    return 0;
}

int TSerialDevice::FlushOutput() const
{
    return ::ioctl(fd_, TCFLSH, TCOFLUSH) == 0 ? 0 : errno;
}

int TSerialDevice::Read(char* data, std::int32_t size, std::int32_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t n = ::read(fd_, data, static_cast<size_t>(size));
        if (n >= 0) {
            got = static_cast<std::int32_t>(n);
            return 0;
        }
        if (errno == EINTR)
            continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : errno;
    }
}

int TSerialDevice::InputCount(std::int32_t& count) const
{
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0)
        return errno;
    count = n;
    return 0;
}

int TSerialDevice::OutputCount(std::int32_t& count) const
{
    int n = 0;
    if (::ioctl(fd_, TIOCOUTQ, &n) != 0)
        return errno;
    count = n;
    return 0;
}

int TSerialDevice::ModemStatus(std::uint32_t& status) const
{
    status = 0;
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0)
        return (fd_ >= 0 && Unsupported(errno)) ? 0 : errno;
    if (bits & TIOCM_CTS)
        status |= devflags::MS_CTS_ON;
    if (bits & TIOCM_DSR)
        status |= devflags::MS_DSR_ON;
    if (bits & TIOCM_RNG)
        status |= devflags::MS_RING_ON;
    if (bits & TIOCM_CAR)
        status |= devflags::MS_RLSD_ON;
    return 0;
}

int TSerialDevice::ReadCounters(TCounters& counters, bool& supported) const
{
    supported = false;
    serial_icounter_struct ic{};
    if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0)
        return (fd_ >= 0 && Unsupported(errno)) ? 0 : errno;
    supported = true;
    counters.frame = static_cast<std::uint32_t>(ic.frame);
    counters.overrun = static_cast<std::uint32_t>(ic.overrun);
    counters.parity = static_cast<std::uint32_t>(ic.parity);
    counters.brk = static_cast<std::uint32_t>(ic.brk);
    counters.bufOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
    return 0;
}

int TSerialDevice::TakeLineErrors(std::uint32_t& errors)
{
    errors = 0;
    TCounters now;
    bool supported = false;
    if (const int err = ReadCounters(now, supported))
        return err;
    if (!supported)
        return 0;
    if (now.frame != seen_.frame)
        errors |= devflags::CE_FRAME;
    if (now.overrun != seen_.overrun)
        errors |= devflags::CE_OVERRUN;
    if (now.parity != seen_.parity)
        errors |= devflags::CE_RXPARITY;
    if (now.brk != seen_.brk)
        errors |= devflags::CE_BREAK;
    if (now.bufOverrun != seen_.bufOverrun)
        errors |= devflags::CE_RXOVER;
    seen_ = now;
    return 0;
}

int TSerialDevice::ClearQueues() const
{
    return ::ioctl(fd_, TCFLSH, TCIOFLUSH) == 0 ? 0 : errno;
}

TWakeEvent::TWakeEvent()
{
    fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd_ < 0)
        error_ = errno;
}

TWakeEvent::~TWakeEvent()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TWakeEvent::Signal()
{
    const std::uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TWakeEvent::Drain()
{
    std::uint64_t value = 0;
    while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

TDeviceWait WaitForDevice(int deviceFd, bool watchInput, bool watchOutput, const TWakeEvent& wake, int timeoutMs)
{
    TDeviceWait result;
    const short events = static_cast<short>((watchInput ? POLLIN : 0) | (watchOutput ? POLLOUT : 0));
    pollfd fds[2] = {{deviceFd, events, 0}, {wake.Handle(), POLLIN, 0}};
    int r;
    do {
        r = ::poll(fds, 2, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        result.Error = errno;
        return result;
    }
    result.Woken = (fds[1].revents & POLLIN) != 0;
    result.Gone = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    result.Input = !result.Gone && (fds[0].revents & POLLIN) != 0;
    result.Output = !result.Gone && (fds[0].revents & POLLOUT) != 0;
    return result;
}

int ListTtyDevices(const QString& ttyClassFolder, QStringList& names)
{
    const QByteArray folder = QFile::encodeName(ttyClassFolder);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return errno;
    names.clear();
    int err = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            err = errno;
            break;
        }
        const QString name = QFile::decodeName(e->d_name);
        if (name.startsWith(QLatin1Char('.')) || !HasHardware(ttyClassFolder + QLatin1Char('/') + name))
            continue;
        names.append(name);
    }
    ::closedir(dir);
    return err;
}
