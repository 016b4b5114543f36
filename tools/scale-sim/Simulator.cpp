#include "Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace std::chrono_literals;

namespace {

constexpr auto WriteTimeout = 2000ms;

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Writes every byte, waiting while the peer's buffer is full, for a bounded time.
bool WriteAll(int fd, std::string_view bytes, bool socket)
{
    const auto deadline = std::chrono::steady_clock::now() + WriteTimeout;
    size_t done = 0;
    while (done < bytes.size()) {
        const char* from = bytes.data() + done;
        const size_t left = bytes.size() - done;
        const ssize_t n = socket ? ::send(fd, from, left, MSG_NOSIGNAL) : ::write(fd, from, left);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ms = RemainingMs(deadline);
            if (ms == 0)
                return false;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, ms);
            continue;
        }
        return false;
    }
    return true;
}

speed_t SpeedFor(int baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

void Fail(const std::string& what)
{
    std::fprintf(stderr, "scale-sim: %s\n", what.c_str());
}

void FailErrno(const std::string& what)
{
    Fail(what + ": " + std::strerror(errno));
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

Simulator::Simulator(const SimOptions& options) : options_(options), scale_(options) {}

Simulator::~Simulator()
{
    CloseFd(ioFd_);
    CloseFd(slaveFd_);
    CloseFd(listenFd_);
    CloseFd(recordFd_);
    CloseFd(signalFd_);
}

int Simulator::Run()
{
    // Quit signals arrive as readable bytes, so the loop ends between two
    // steps and never in the middle of a write.
    sigset_t quit;
    sigemptyset(&quit);
    sigaddset(&quit, SIGTERM);
    sigaddset(&quit, SIGINT);
    sigprocmask(SIG_BLOCK, &quit, nullptr);
    signalFd_ = ::signalfd(-1, &quit, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0) {
        FailErrno("signalfd");
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);

    if (!options_.record.empty()) {
        recordFd_ = ::open(options_.record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (recordFd_ < 0) {
            FailErrno("cannot open " + options_.record);
            return 1;
        }
    }
    if (const int failed = Open())
        return failed;

    while (!finished_) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {-1, POLLIN, 0}};
        if (ioFd_ >= 0)
            fds[1].fd = ioFd_;
        else if (listenFd_ >= 0)
            fds[1].fd = listenFd_; // one client at a time: the next waits in the backlog
        const int ready = ::poll(fds, 2, PollTimeout());
        if (ready < 0 && errno != EINTR) {
            FailErrno("poll");
            return 1;
        }
        if (ready > 0 && fds[0].revents) {
            Log("quit signal");
            return 0;
        }
        if (ready > 0 && fds[1].revents) {
            if (fds[1].fd == listenFd_)
                AcceptClient();
            else if (options_.mode == SimMode::Udp)
                ReadDatagram();
            else
                ReadStream();
        }
        SendDue();
    }
    return exitCode_;
}

int Simulator::Open()
{
    switch (options_.mode) {
    case SimMode::Serial:
        return OpenPty();
    case SimMode::Device:
        return OpenDevice();
    case SimMode::Tcp:
        return OpenSocket(SOCK_STREAM);
    case SimMode::Udp:
        return OpenSocket(SOCK_DGRAM);
    case SimMode::None:
        break;
    }
    return 2;
}

int Simulator::OpenPty()
{
    char name[256] = {};
    if (::openpty(&ioFd_, &slaveFd_, name, nullptr, nullptr) != 0) {
        FailErrno("openpty");
        return 1;
    }
    // Raw both ways: no echo of commands back to us, no CR/LF translation.
    termios t{};
    ::tcgetattr(slaveFd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slaveFd_, TCSANOW, &t);
    ::fcntl(ioFd_, F_SETFL, ::fcntl(ioFd_, F_GETFL) | O_NONBLOCK);
    ::fcntl(ioFd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd_, F_SETFD, FD_CLOEXEC);
    std::printf("READY serial %s\n", name);
    std::fflush(stdout);
    return 0;
}

int Simulator::OpenDevice()
{
    const speed_t speed = SpeedFor(options_.baud);
    if (speed == B0) {
        Fail("unsupported baud rate " + std::to_string(options_.baud));
        return 2;
    }
    ioFd_ = ::open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ioFd_ < 0) {
        FailErrno("cannot open " + options_.device);
        return 1;
    }
    termios t{};
    if (::tcgetattr(ioFd_, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(ioFd_, TCSANOW, &t) != 0) {
            FailErrno("cannot set up " + options_.device);
            return 1;
        }
        ::tcflush(ioFd_, TCIOFLUSH);
    } else {
        Log(options_.device + " is not a terminal; used as it is");
    }
    std::printf("READY serial %s\n", options_.device.c_str());
    std::fflush(stdout);
    return 0;
}

int Simulator::OpenSocket(int type)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (::inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr) != 1) {
        Fail("\"" + options_.host + "\" is not an IPv4 address");
        return 2;
    }
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        FailErrno("socket");
        return 1;
    }
    (type == SOCK_STREAM ? listenFd_ : ioFd_) = fd;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        FailErrno("cannot bind " + options_.host + ":" + std::to_string(options_.port));
        return 1;
    }
    if (type == SOCK_STREAM && ::listen(fd, 4) != 0) {
        FailErrno("listen");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("READY %s %s %u\n", type == SOCK_STREAM ? "tcp" : "udp", options_.host.c_str(),
                unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);
    return 0;
}

void Simulator::AcceptClient()
{
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // A split reply must leave as two pieces, not be held back and merged.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ioFd_ = fd;
    Log("client connected");
}

void Simulator::CloseClient(const char* why)
{
    CloseFd(ioFd_);
    lines_.Clear();
    queue_.clear();
    dropping_ = false;
    Log(why);
}

void Simulator::ReadStream()
{
    char buffer[4096];
    const ssize_t n = ::read(ioFd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        if (options_.mode == SimMode::Tcp) {
            CloseClient("client left");
            return;
        }
        if (n < 0)
            FailErrno("serial device failed");
        else
            Fail("serial device hung up");
        finished_ = true;
        exitCode_ = 1;
        return;
    }
    Record(buffer, static_cast<size_t>(n));
    for (const std::string& line : lines_.Feed(std::string_view(buffer, static_cast<size_t>(n))))
        Handle(line, nullptr);
}

void Simulator::ReadDatagram()
{
    static char buffer[65536];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(ioFd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0)
        return;
    if (options_.replyPort != 0)
        from.sin_port = htons(static_cast<std::uint16_t>(options_.replyPort));
    Record(buffer, static_cast<size_t>(n));
    std::string_view command(buffer, static_cast<size_t>(n));
    if (!command.empty() && command.back() == '\0')
        command.remove_suffix(1);
    Handle(command, &from);
}

void Simulator::Handle(std::string_view command, const sockaddr_in* from)
{
    if (dropping_) {
        Log("after the drop, unanswered: " + Escaped(command));
        return;
    }
    const Answer answer = scale_.Take(command);
    if (answer.number == 0) {
        Log("blank, ignored: " + Escaped(command));
        return;
    }
    Log("#" + std::to_string(answer.number) + " <- " + Escaped(command) + "   -> "
        + (answer.reply ? Escaped(*answer.reply) : std::string("(no reply)")));

    // Queued pieces keep their order: none is due before the one ahead of it.
    auto due = Clock::now() + std::chrono::milliseconds(options_.delayMs);
    if (!queue_.empty())
        due = std::max(due, queue_.back().due);
    Output out;
    if (from)
        out.to = *from;
    if (answer.reply) {
        if (options_.split && answer.reply->size() > 1) {
            out.due = due;
            out.bytes = answer.reply->substr(0, 1);
            queue_.push_back(out);
            due += std::chrono::milliseconds(options_.splitGapMs);
            out.bytes = answer.reply->substr(1);
        } else {
            out.bytes = *answer.reply;
        }
        out.due = due;
        queue_.push_back(out);
    }
    if (answer.drop) {
        out.due = due;
        out.bytes.clear();
        out.drop = true;
        queue_.push_back(out);
        dropping_ = true;
    }
}

int Simulator::PollTimeout() const
{
    return queue_.empty() ? -1 : RemainingMs(queue_.front().due);
}

void Simulator::SendDue()
{
    while (!queue_.empty() && !finished_ && queue_.front().due <= Clock::now()) {
        const Output out = std::move(queue_.front());
        queue_.pop_front();
        if (out.drop)
            Drop();
        else
            Deliver(out);
    }
}

void Simulator::Deliver(const Output& out)
{
    switch (options_.mode) {
    case SimMode::Udp:
        if (::sendto(ioFd_, out.bytes.data(), out.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&out.to),
                     sizeof out.to) < 0)
            FailErrno("reply not sent");
        break;
    case SimMode::Tcp:
        if (ioFd_ >= 0 && !WriteAll(ioFd_, out.bytes, true))
            CloseClient("client gone while replying");
        break;
    default:
        if (!WriteAll(ioFd_, out.bytes, false))
            FailErrno("reply not written");
        break;
    }
}

void Simulator::Drop()
{
    switch (options_.mode) {
    case SimMode::Udp:
        Log("dropped: no more replies");
        break; // dropping_ stays set: every later datagram goes unanswered
    case SimMode::Tcp: {
        // Unread input would turn the close into a reset, and a reset can cost
        // the client the reply it has not read yet; what is read is recorded.
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(ioFd_, buffer, sizeof buffer)) > 0)
            Record(buffer, static_cast<size_t>(n));
        CloseClient("dropped the client");
        break;
    }
    default:
        WaitSerialDrained();
        CloseFd(ioFd_);
        CloseFd(slaveFd_);
        Log("dropped the serial line");
        finished_ = true;
        exitCode_ = 0;
        break;
    }
}

void Simulator::WaitSerialDrained()
{
    if (slaveFd_ < 0) {
        ::tcdrain(ioFd_);
        return;
    }
    // Closing the master hangs up the pty and flushes what the program has not
    // read yet, so the last reply would be lost: wait (bounded) until it was read.
    // The first nap lets the kernel move the bytes from the master's side in.
    ::poll(nullptr, 0, 20);
    const auto deadline = Clock::now() + WriteTimeout;
    for (;;) {
        int waiting = 0;
        if (::ioctl(slaveFd_, FIONREAD, &waiting) != 0 || waiting == 0 || RemainingMs(deadline) == 0)
            return;
        ::poll(nullptr, 0, 5);
    }
}

void Simulator::Record(const char* data, size_t size)
{
    if (recordFd_ < 0)
        return;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(recordFd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            FailErrno("recording stopped");
            CloseFd(recordFd_);
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void Simulator::Log(const std::string& line) const
{
    if (options_.log)
        std::fprintf(stderr, "scale-sim: %s\n", line.c_str());
}
