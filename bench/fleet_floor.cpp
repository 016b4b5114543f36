// The floor for bench/run fleet: the upload scaledb send makes, to every TCP
// scale of a list at once, done as plainly as this machine allows. One thread,
// non-blocking sockets in one epoll set, one send a command and one recv a
// reply, every reply checked, and each next command 100 ms after the reply
// that allowed it, on a list whose head sets epoll's timeout to the
// nanosecond. No Qt. What it spends a command is what any client must.
//     fleet_floor DATABASE LINKS
// LINKS holds a tcp://ADDRESS:PORT a line, as scaledb send --to-file reads it.
// Exits 0 when every scale took the start command, each record and the end
// command with the right reply; prints "floor: N scales, M commands".
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr std::int64_t GapNs = 100'000'000;
constexpr std::int64_t TimeoutNs = 10'000'000'000;  // scaledb send's --timeout and --connect-timeout
constexpr std::size_t ReplyLimit = 64;               // a reply longer than this is no reply of the protocol

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "fleet_floor: %s\n", what.c_str());
    std::exit(1);
}

std::int64_t Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail(std::string("cannot read ") + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every command, framed as it goes out: the start command, "Sr" and each
// record, the end command. A record is its line's fields with as many ';' as
// the widest line has, as the table sends it; Ctrl+Z ends the file, CR LF ends
// a line as LF does, and empty lines are no records.
std::vector<std::string> Commands(std::string bytes)
{
    bytes = bytes.substr(0, bytes.find('\x1a'));
    std::vector<std::string> lines;
    std::size_t cols = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find('\n', at);
        const bool lf = end != std::string::npos;
        if (!lf)
            end = bytes.size();
        std::string line = bytes.substr(at, end - at);
        if (lf && !line.empty() && line.back() == '\r')
            line.pop_back();
        at = end + 1;
        if (line.empty())
            continue;
        cols = std::max<std::size_t>(cols, static_cast<std::size_t>(std::count(line.begin(), line.end(), ';')) + 1);
        lines.push_back(std::move(line));
    }
    std::vector<std::string> commands{"SbP\r\n"};
    for (const std::string& line : lines) {
        const auto have = static_cast<std::size_t>(std::count(line.begin(), line.end(), ';')) + 1;
        commands.push_back("Sr" + line + std::string(cols - have, ';') + "\r\n");
    }
    commands.push_back("Se\r\n");
    return commands;
}

// The scales' addresses, from lines "tcp://A.B.C.D:PORT [name]"; '#' starts a comment.
std::vector<sockaddr_in> Scales(const std::string& text)
{
    std::vector<sockaddr_in> scales;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string link;
        if (!(words >> link))
            continue;
        const std::size_t colon = link.rfind(':');
        if (link.rfind("tcp://", 0) != 0 || colon == std::string::npos || colon < 6)
            Fail("not a TCP link: " + link);
        const int port = std::atoi(link.c_str() + colon + 1);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        if (inet_pton(AF_INET, link.substr(6, colon - 6).c_str(), &a.sin_addr) != 1 || port < 1 || port > 65535)
            Fail("not a TCP link: " + link);
        scales.push_back(a);
    }
    return scales;
}

// Waits of one length, at most one a scale: they fall due in the order they
// were started, so a list kept in that order, its head the next due.
class TWaits {
public:
    static constexpr int None = -1;

    TWaits(std::size_t count, std::int64_t length)
        : next_(count, None), prev_(count, None), due_(count, 0), running_(count, false), length_(length)
    {
    }

    void Start(int s)
    {
        Stop(s);
        due_[s] = Now() + length_;
        running_[s] = true;
        prev_[s] = tail_;
        next_[s] = None;
        (tail_ == None ? head_ : next_[tail_]) = s;
        tail_ = s;
    }

    void Stop(int s)
    {
        if (!running_[s])
            return;
        running_[s] = false;
        (prev_[s] == None ? head_ : next_[prev_[s]]) = next_[s];
        (next_[s] == None ? tail_ : prev_[next_[s]]) = prev_[s];
    }

    // The scale whose wait is over by `now`, or None.
    int Due(std::int64_t now) const { return head_ != None && due_[head_] <= now ? head_ : None; }
    std::int64_t Head() const { return head_ == None ? INT64_MAX : due_[head_]; }

private:
    std::vector<int> next_, prev_;
    std::vector<std::int64_t> due_;
    std::vector<bool> running_;
    std::int64_t length_;
    int head_ = None, tail_ = None;
};

struct TScale {
    int Fd = -1;
    int Command = -1;  // the command that awaits its reply; -1 while connecting
    std::size_t Length = 0;
    char Reply[ReplyLimit];
};

class TFloor {
public:
    TFloor(std::vector<std::string> commands, const std::vector<sockaddr_in>& addresses)
        : commands_(std::move(commands)), addresses_(addresses), scales_(addresses.size()),
          gaps_(addresses.size(), GapNs), deadlines_(addresses.size(), TimeoutNs)
    {
    }

    void Run()
    {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0)
            Fail(std::string("epoll_create1: ") + std::strerror(errno));
        for (int s = 0; s < static_cast<int>(scales_.size()); ++s)
            Connect(s);
        while (open_ > 0)
            Turn();
        close(epoll_);
    }

    std::uint64_t Sent = 0;

private:
    void Turn();
    void Connect(int s);
    void Connected(int s);
    void Send(int s);
    void Readable(int s);
    void Replied(int s, const char* reply, std::size_t length);
    void GapOver(int s);
    std::string Name(int s) const;

    std::vector<std::string> commands_;
    const std::vector<sockaddr_in>& addresses_;
    std::vector<TScale> scales_;
    TWaits gaps_;       // the 100 ms after a reply
    TWaits deadlines_;  // a connect's or a reply's time
    int epoll_ = -1;
    int open_ = 0;
};

std::string TFloor::Name(int s) const
{
    char address[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &addresses_[s].sin_addr, address, sizeof address);
    return "tcp://" + std::string(address) + ":" + std::to_string(ntohs(addresses_[s].sin_port));
}

void TFloor::Connect(int s)
{
    TScale& scale = scales_[s];
    scale.Fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (scale.Fd < 0)
        Fail(std::string("socket: ") + std::strerror(errno));
    ++open_;
    const int r = connect(scale.Fd, reinterpret_cast<const sockaddr*>(&addresses_[s]), sizeof addresses_[s]);
    if (r != 0 && errno != EINPROGRESS)
        Fail(Name(s) + ": cannot connect: " + std::strerror(errno));
    epoll_event e{};
    e.events = r == 0 ? EPOLLIN : EPOLLOUT;
    e.data.u32 = static_cast<std::uint32_t>(s);
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, scale.Fd, &e) != 0)
        Fail(std::string("epoll_ctl: ") + std::strerror(errno));
    if (r == 0)
        Send(s);
    else
        deadlines_.Start(s);
}

void TFloor::Connected(int s)
{
    TScale& scale = scales_[s];
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(scale.Fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
        Fail(Name(s) + ": cannot connect: " + std::strerror(error ? error : errno));
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u32 = static_cast<std::uint32_t>(s);
    if (epoll_ctl(epoll_, EPOLL_CTL_MOD, scale.Fd, &e) != 0)
        Fail(std::string("epoll_ctl: ") + std::strerror(errno));
    Send(s);
}

// The next command, in one send; a loopback socket's buffer always takes one whole.
void TFloor::Send(int s)
{
    TScale& scale = scales_[s];
    const std::string& command = commands_[static_cast<std::size_t>(++scale.Command)];
    ssize_t n;
    do
        n = send(scale.Fd, command.data(), command.size(), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(command.size()))
        Fail(Name(s) + ": the command did not go out whole");
    ++Sent;
    deadlines_.Start(s);
}

void TFloor::Readable(int s)
{
    TScale& scale = scales_[s];
    ssize_t n;
    do
        n = recv(scale.Fd, scale.Reply + scale.Length, ReplyLimit - scale.Length, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (n <= 0)
        Fail(Name(s) + ": the connection was lost at command " + std::to_string(scale.Command + 1));
    scale.Length += static_cast<std::size_t>(n);
    const char* lf = static_cast<const char*>(std::memchr(scale.Reply, '\n', scale.Length));
    if (!lf) {
        if (scale.Length == ReplyLimit)
            Fail(Name(s) + ": a reply without a line end");
        return;
    }
    // Stop and wait: one reply a command, and nothing after it.
    if (lf != scale.Reply + scale.Length - 1)
        Fail(Name(s) + ": text after the reply");
    Replied(s, scale.Reply, scale.Length);
    scale.Length = 0;
}

// The reply without the bytes 0 to 32 around it must be the one the command expects.
void TFloor::Replied(int s, const char* reply, std::size_t length)
{
    TScale& scale = scales_[s];
    std::size_t from = 0;
    while (from < length && static_cast<unsigned char>(reply[from]) <= 32)
        ++from;
    while (length > from && static_cast<unsigned char>(reply[length - 1]) <= 32)
        --length;
    const std::size_t last = commands_.size() - 1;
    const char* expected = scale.Command == 0 ? "MbP" : static_cast<std::size_t>(scale.Command) == last ? "Me" : "Mr";
    if (length - from != std::strlen(expected) || std::memcmp(reply + from, expected, length - from) != 0)
        Fail(Name(s) + ": the scale answered \"" + std::string(reply + from, length - from) + "\" to command " +
             std::to_string(scale.Command + 1));
    deadlines_.Stop(s);
    gaps_.Start(s);
}

// After the end command's reply and its gap the upload is over, and its link closed.
void TFloor::GapOver(int s)
{
    TScale& scale = scales_[s];
    if (static_cast<std::size_t>(scale.Command) + 1 < commands_.size()) {
        Send(s);
        return;
    }
    close(scale.Fd);
    scale.Fd = -1;
    --open_;
}

// One wait for the sockets' events or the next wait's end, then what is due now.
void TFloor::Turn()
{
    const std::int64_t due = std::min(gaps_.Head(), deadlines_.Head());
    timespec timeout{};
    if (due != INT64_MAX) {
        const std::int64_t left = std::max<std::int64_t>(due - Now(), 0);
        timeout = {static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
    }
    epoll_event events[256];
    const int n = epoll_pwait2(epoll_, events, 256, due == INT64_MAX ? nullptr : &timeout, nullptr);
    if (n < 0 && errno != EINTR)
        Fail(std::string("epoll_pwait2: ") + std::strerror(errno));
    for (int i = 0; i < n; ++i) {
        const int s = static_cast<int>(events[i].data.u32);
        if (scales_[s].Command < 0)
            Connected(s);
        else
            Readable(s);
    }
    const std::int64_t now = Now();
    for (int s = gaps_.Due(now); s != TWaits::None; s = gaps_.Due(now)) {
        gaps_.Stop(s);
        GapOver(s);
    }
    if (const int s = deadlines_.Due(now); s != TWaits::None)
        Fail(Name(s) + (scales_[s].Command < 0 ? ": the link did not come up" : ": no reply from the scale"));
}
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fleet_floor DATABASE LINKS\n");
        return 2;
    }
    const std::vector<sockaddr_in> scales = Scales(ReadFile(argv[2]));
    if (scales.empty())
        Fail("no scales in the list");
    TFloor floor(Commands(ReadFile(argv[1])), scales);
    floor.Run();
    std::printf("floor: %zu scales, %llu commands\n", scales.size(), static_cast<unsigned long long>(floor.Sent));
    return 0;
}
