#include "Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <termios.h>

#include "BaudConstant.h"
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

constexpr std::uint64_t SignalKey = UINT64_MAX;

// epoll's tag for a descriptor: the scale it belongs to, and whether it is
// the scale's listening socket.
std::uint64_t Key(std::size_t index, bool listening)
{
    return (std::uint64_t(index) << 1) | (listening ? 1 : 0);
}

// A thousand TCP scales hold two thousand sockets and as many recordings.
void RaiseFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

Simulator::Simulator(const SimOptions& options) : options_(options)
{
    for (int i = 0; i < options.count; ++i)
        scales_.push_back(std::make_unique<Endpoint>(options));
}

Simulator::~Simulator()
{
    for (auto& e : scales_) {
        CloseFd(e->ioFd);
        CloseFd(e->listenFd);
        CloseFd(e->recordFd);
    }
    CloseFd(slaveFd_);
    CloseFd(epollFd_);
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
    RaiseFileLimit();
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) {
        FailErrno("epoll_create1");
        return 1;
    }
    epoll_event quitEvent{};
    quitEvent.events = EPOLLIN;
    quitEvent.data.u64 = SignalKey;
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, signalFd_, &quitEvent);

    if (const int failed = OpenRecords())
        return failed;
    if (const int failed = Open())
        return failed;

    epoll_event events[64];
    while (!finished_) {
        const int ready = ::epoll_wait(epollFd_, events, 64, PollTimeout());
        if (ready < 0 && errno != EINTR) {
            FailErrno("epoll_wait");
            return 1;
        }
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.u64 == SignalKey) {
                Log("quit signal");
                return 0;
            }
        }
        for (int i = 0; i < ready && !finished_; ++i) {
            const std::uint64_t key = events[i].data.u64;
            const auto index = static_cast<std::size_t>(key >> 1);
            if (key & 1)
                AcceptClient(index);
            else if (options_.mode == SimMode::Udp)
                ReadDatagram(index);
            else
                ReadStream(index);
        }
        SendDue();
    }
    return exitCode_;
}

bool Simulator::Watch(int fd, std::size_t index, bool listening)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = Key(index, listening);
    return ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) == 0;
}

void Simulator::Unwatch(int fd)
{
    if (fd >= 0)
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
}

int Simulator::OpenRecords()
{
    if (options_.record.empty())
        return 0;
    const bool folder = scales_.size() > 1;
    if (folder && ::mkdir(options_.record.c_str(), 0755) != 0 && errno != EEXIST) {
        FailErrno("cannot create " + options_.record);
        return 1;
    }
    for (std::size_t i = 0; i < scales_.size(); ++i) {
        const std::string path = folder ? options_.record + "/" + std::to_string(i + 1) + ".bin" : options_.record;
        scales_[i]->recordFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (scales_[i]->recordFd < 0) {
            FailErrno("cannot open " + path);
            return 1;
        }
    }
    return 0;
}

int Simulator::Open()
{
    switch (options_.mode) {
    case SimMode::Serial:
        return OpenPty(*scales_.front());
    case SimMode::Device:
        return OpenDevice(*scales_.front());
    case SimMode::Tcp:
        return OpenSockets(SOCK_STREAM);
    case SimMode::Udp:
        return OpenSockets(SOCK_DGRAM);
    case SimMode::None:
        break;
    }
    return 2;
}

int Simulator::OpenPty(Endpoint& e)
{
    char name[256] = {};
    if (::openpty(&e.ioFd, &slaveFd_, name, nullptr, nullptr) != 0) {
        FailErrno("openpty");
        return 1;
    }
    // Raw both ways: no echo of commands back to us, no CR/LF translation.
    termios t{};
    ::tcgetattr(slaveFd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slaveFd_, TCSANOW, &t);
    ::fcntl(e.ioFd, F_SETFL, ::fcntl(e.ioFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(e.ioFd, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd_, F_SETFD, FD_CLOEXEC);
    if (!Watch(e.ioFd, 0, false)) {
        FailErrno("epoll_ctl");
        return 1;
    }
    std::printf("READY serial %s\n", name);
    std::fflush(stdout);
    return 0;
}

int Simulator::OpenDevice(Endpoint& e)
{
    const speed_t speed = options_.baud > 0 ? BaudConstant(static_cast<std::uint32_t>(options_.baud)) : B0;
    if (speed == B0) {
        Fail("unsupported baud rate " + std::to_string(options_.baud));
        return 2;
    }
    e.ioFd = ::open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (e.ioFd < 0) {
        FailErrno("cannot open " + options_.device);
        return 1;
    }
    termios t{};
    if (::tcgetattr(e.ioFd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(e.ioFd, TCSANOW, &t) != 0) {
            FailErrno("cannot set up " + options_.device);
            return 1;
        }
        ::tcflush(e.ioFd, TCIOFLUSH);
    } else {
        Log(options_.device + " is not a terminal; used as it is");
    }
    // epoll takes terminals, pipes and sockets, not plain files.
    if (!Watch(e.ioFd, 0, false)) {
        FailErrno("cannot wait on " + options_.device);
        return 1;
    }
    std::printf("READY serial %s\n", options_.device.c_str());
    std::fflush(stdout);
    return 0;
}

int Simulator::OpenSockets(int type)
{
    const bool tcp = type == SOCK_STREAM;
    in_addr first{};
    if (::inet_pton(AF_INET, options_.host.c_str(), &first) != 1) {
        Fail("\"" + options_.host + "\" is not an IPv4 address");
        return 2;
    }
    if (!tcp && std::uint64_t(ntohl(first.s_addr)) + scales_.size() - 1 > UINT32_MAX) {
        Fail("--count " + std::to_string(scales_.size()) + " addresses from " + options_.host
             + " go past 255.255.255.255");
        return 2;
    }
    unsigned firstPort = 0;
    for (std::size_t i = 0; i < scales_.size(); ++i) {
        Endpoint& e = *scales_[i];
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = tcp ? first.s_addr : htonl(ntohl(first.s_addr) + std::uint32_t(i));
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
        e.host = i == 0 ? options_.host : std::string(text);
        // TCP scales take consecutive ports, UDP scales the same port on
        // consecutive addresses. Asked for any free port, the scales after the
        // first try to keep that run, and take any port where it is taken.
        unsigned port = unsigned(options_.port) + (tcp ? unsigned(i) : 0);
        const bool anyPort = options_.port == 0 && i > 0;
        if (anyPort)
            port = firstPort + (tcp ? unsigned(i) : 0);
        if (port > 65535)
            port = 0;
        if (const int rc = BindSocket(e, i, type, address, port, anyPort))
            return rc;
        if (i == 0)
            firstPort = e.port;
        std::printf("READY %s %s %u\n", tcp ? "tcp" : "udp", e.host.c_str(), e.port);
    }
    std::fflush(stdout);
    return 0;
}

// One scale's socket, bound to `address` at `port` (any free port when that
// one is taken and any was asked for), listening for TCP, watched by epoll.
int Simulator::BindSocket(Endpoint& e, std::size_t index, int type, sockaddr_in address, unsigned port, bool anyPort)
{
    const bool tcp = type == SOCK_STREAM;
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        FailErrno("socket");
        return 1;
    }
    (tcp ? e.listenFd : e.ioFd) = fd;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!bound && anyPort) {
        address.sin_port = 0;
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    if (!bound) {
        FailErrno("cannot bind " + e.host + ":" + std::to_string(port));
        return 1;
    }
    if (tcp && ::listen(fd, 4) != 0) {
        // Another simulator bound the same port a moment before us and listens on it.
        if (errno == EADDRINUSE && anyPort && port != 0) {
            CloseFd(e.listenFd);
            return BindSocket(e, index, type, address, 0, anyPort);
        }
        FailErrno("listen");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    e.port = ntohs(address.sin_port);
    if (!Watch(fd, index, tcp)) {
        FailErrno("epoll_ctl");
        return 1;
    }
    return 0;
}

void Simulator::AcceptClient(std::size_t index)
{
    Endpoint& e = *scales_[index];
    const int fd = ::accept4(e.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // A split reply must leave as two pieces, not be held back and merged.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // One client at a time: the next waits in the backlog until this one is gone.
    Unwatch(e.listenFd);
    e.ioFd = fd;
    Watch(fd, index, false);
    Log(index, "client connected");
    if (++e.clients > 1 && !options_.greet.empty()) {
        Output out;
        out.due = Clock::now();
        out.bytes = options_.greet + "\r\n";
        e.queue.push_back(out);
        due_.emplace(out.due, index);
    }
}

void Simulator::CloseClient(Endpoint& e, std::size_t index, const char* why)
{
    Unwatch(e.ioFd);
    CloseFd(e.ioFd);
    if (!options_.keepLine)
        e.lines.Clear();
    e.queue.clear();
    e.dropping = false;
    Watch(e.listenFd, index, true);
    Log(index, why);
}

void Simulator::ReadStream(std::size_t index)
{
    Endpoint& e = *scales_[index];
    char buffer[4096];
    const ssize_t n = ::read(e.ioFd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        if (options_.mode == SimMode::Tcp) {
            CloseClient(e, index, "client left");
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
    const bool wasCut = e.cut;
    const std::size_t kept = CutLength(e, static_cast<size_t>(n));
    Record(e, buffer, kept);
    for (const std::string& line : e.lines.Feed(std::string_view(buffer, kept)))
        Handle(index, line, nullptr);
    if (e.cut && !wasCut)
        CloseClient(e, index, "cut the client mid-command");
}

// Of n bytes just read, those --cut-after lets in; fewer than n cut the client.
std::size_t Simulator::CutLength(Endpoint& e, std::size_t n)
{
    if (!options_.cutAfter || e.cut) {
        e.received += static_cast<long>(n);
        return n;
    }
    const long room = *options_.cutAfter - e.received;
    const std::size_t kept = room < static_cast<long>(n) ? static_cast<std::size_t>(room) : n;
    e.received += static_cast<long>(kept);
    if (e.received == *options_.cutAfter)
        e.cut = true;
    return kept;
}

void Simulator::ReadDatagram(std::size_t index)
{
    Endpoint& e = *scales_[index];
    static char buffer[65536];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(e.ioFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0)
        return;
    if (options_.replyPort != 0)
        from.sin_port = htons(static_cast<std::uint16_t>(options_.replyPort));
    Record(e, buffer, static_cast<size_t>(n));
    std::string_view command(buffer, static_cast<size_t>(n));
    if (!command.empty() && command.back() == '\0')
        command.remove_suffix(1);
    Handle(index, command, &from);
}

void Simulator::Handle(std::size_t index, std::string_view command, const sockaddr_in* from)
{
    Endpoint& e = *scales_[index];
    if (e.dropping) {
        Log(index, "after the drop, unanswered: " + Escaped(command));
        return;
    }
    const Answer answer = e.scale.Take(command);
    if (answer.number == 0) {
        Log(index, "blank, ignored: " + Escaped(command));
        return;
    }
    if (options_.log) {
        // Appended piece by piece: GCC 12 at -O3 takes "#" + to_string() for an overlapping copy.
        std::string line = "#";
        line += std::to_string(answer.number);
        line += " <- " + Escaped(command) + "   -> ";
        line += answer.reply ? Escaped(*answer.reply) : std::string("(no reply)");
        Log(index, line);
    }

    // Queued pieces keep their order: none is due before the one ahead of it.
    auto due = Clock::now() + std::chrono::milliseconds(options_.delayMs);
    if (!e.queue.empty())
        due = std::max(due, e.queue.back().due);
    Output out;
    if (from)
        out.to = *from;
    const auto queue = [&](const Output& piece) {
        e.queue.push_back(piece);
        due_.emplace(piece.due, index);
    };
    if (answer.reply) {
        if (options_.split && answer.reply->size() > 1) {
            out.due = due;
            out.bytes = answer.reply->substr(0, 1);
            queue(out);
            due += std::chrono::milliseconds(options_.splitGapMs);
            out.bytes = answer.reply->substr(1);
        } else {
            out.bytes = *answer.reply;
        }
        out.due = due;
        queue(out);
    }
    if (answer.drop) {
        out.due = due;
        out.bytes.clear();
        out.drop = true;
        queue(out);
        e.dropping = true;
    }
}

int Simulator::PollTimeout() const
{
    return due_.empty() ? -1 : RemainingMs(due_.top().first);
}

void Simulator::SendDue()
{
    const auto now = Clock::now();
    while (!due_.empty() && !finished_ && due_.top().first <= now) {
        const std::size_t index = due_.top().second;
        due_.pop();
        // An entry may be stale (the client left and its queue went with it):
        // the queue itself says what is due.
        Endpoint& e = *scales_[index];
        while (!e.queue.empty() && !finished_ && e.queue.front().due <= now) {
            const Output out = std::move(e.queue.front());
            e.queue.pop_front();
            if (out.drop)
                Drop(e, index);
            else
                Deliver(e, index, out);
        }
    }
}

void Simulator::Deliver(Endpoint& e, std::size_t index, const Output& out)
{
    switch (options_.mode) {
    case SimMode::Udp:
        if (::sendto(e.ioFd, out.bytes.data(), out.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&out.to),
                     sizeof out.to) < 0)
            FailErrno("reply not sent");
        break;
    case SimMode::Tcp:
        if (e.ioFd >= 0 && !WriteAll(e.ioFd, out.bytes, true))
            CloseClient(e, index, "client gone while replying");
        break;
    default:
        if (!WriteAll(e.ioFd, out.bytes, false))
            FailErrno("reply not written");
        break;
    }
}

void Simulator::Drop(Endpoint& e, std::size_t index)
{
    switch (options_.mode) {
    case SimMode::Udp:
        Log(index, "dropped: no more replies");
        break; // dropping stays set: every later datagram goes unanswered
    case SimMode::Tcp: {
        // Unread input would turn the close into a reset, and a reset can cost
        // the client the reply it has not read yet; what is read is recorded.
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(e.ioFd, buffer, sizeof buffer)) > 0)
            Record(e, buffer, static_cast<size_t>(n));
        CloseClient(e, index, "dropped the client");
        break;
    }
    default:
        WaitSerialDrained(e);
        Unwatch(e.ioFd);
        CloseFd(e.ioFd);
        CloseFd(slaveFd_);
        Log("dropped the serial line");
        finished_ = true;
        exitCode_ = 0;
        break;
    }
}

void Simulator::WaitSerialDrained(Endpoint& e)
{
    if (slaveFd_ < 0) {
        ::tcdrain(e.ioFd);
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

void Simulator::Record(Endpoint& e, const char* data, size_t size)
{
    if (e.recordFd < 0)
        return;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(e.recordFd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            FailErrno("recording stopped");
            CloseFd(e.recordFd);
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

void Simulator::Log(std::size_t index, const std::string& line) const
{
    if (!options_.log)
        return;
    if (scales_.size() == 1)
        Log(line);
    else
        Log("scale " + std::to_string(index + 1) + " (" + scales_[index]->host + ":"
            + std::to_string(scales_[index]->port) + "): " + line);
}
