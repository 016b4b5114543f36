// The floor for upload_bench: the same exchange with scale-sim over the same
// link, done as plainly as this machine allows. One thread, a blocking read of
// the reply and a sleep to an absolute deadline 100 ms after it; no Qt. What
// it loses beyond the gap is what the machine forces on any client.
//     upload_floor --sim PATH [--records N] serial|tcp|udp
// Prints "floor LINK: median X ms over the gap per record (N records, CPU Y ms a record)".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr long GapNs = 100'000'000;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "upload_floor: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

timespec Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

double Ms(const timespec& from, const timespec& to)
{
    return (to.tv_sec - from.tv_sec) * 1e3 + (to.tv_nsec - from.tv_nsec) / 1e6;
}

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// scale-sim as a child; its READY line split into words.
struct Sim {
    pid_t pid = -1;
    std::vector<std::string> ready;
};

Sim StartSim(const char* program, const std::string& link)
{
    int out[2];
    if (pipe(out) != 0)
        Fail("pipe");
    Sim sim;
    sim.pid = fork();
    if (sim.pid < 0)
        Fail("fork");
    if (sim.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const std::string mode = "--" + link;
        if (link == "serial")
            execl(program, program, mode.c_str(), static_cast<char*>(nullptr));
        else
            execl(program, program, mode.c_str(), "0", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (line.size() < 256 && read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    // "READY serial /dev/pts/3" or "READY tcp 127.0.0.1 40123"
    size_t at = 0;
    while (at < line.size()) {
        const size_t end = std::min(line.find(' ', at), line.size());
        sim.ready.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    if (sim.ready.size() < 3 || sim.ready[0] != "READY") {
        std::fprintf(stderr, "upload_floor: scale-sim did not start for %s\n", link.c_str());
        std::exit(1);
    }
    return sim;
}

int OpenSerial(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        Fail("open");
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        Fail("tcgetattr");
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        Fail("tcsetattr");
    return fd;
}

int OpenSocket(const std::string& host, int port, bool udp)
{
    const int fd = socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
    if (fd < 0)
        Fail("socket");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1)
        Fail("address");
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        Fail("connect");
    if (!udp) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

// A command as the link frames it: a line with CR LF, or a datagram with its 0x00.
void SendCommand(int fd, bool udp, const std::string& command)
{
    const std::string framed = udp ? command + '\0' : command + "\r\n";
    if (write(fd, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size()))
        Fail("write");
}

// Reads until a LF; the reply's text itself is not looked at.
void AwaitReply(int fd)
{
    char buf[256];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail("read");
        if (std::memchr(buf, '\n', static_cast<size_t>(n)))
            return;
    }
}

void SleepUntilGapAfter(timespec reply)
{
    reply.tv_nsec += GapNs;
    if (reply.tv_nsec >= 1'000'000'000) {
        reply.tv_nsec -= 1'000'000'000;
        ++reply.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &reply, nullptr) == EINTR) {
    }
}
}

int main(int argc, char** argv)
{
    const char* sim = nullptr;
    int records = 300;
    std::string link;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sim") && i + 1 < argc)
            sim = argv[++i];
        else if (!std::strcmp(argv[i], "--records") && i + 1 < argc)
            records = std::atoi(argv[++i]);
        else
            link = argv[i];
    }
    if (!sim || records < 1 || (link != "serial" && link != "tcp" && link != "udp")) {
        std::fprintf(stderr, "usage: upload_floor --sim PATH [--records N] serial|tcp|udp\n");
        return 2;
    }

    const Sim scale = StartSim(sim, link);
    const bool udp = link == "udp";
    const int fd = link == "serial" ? OpenSerial(scale.ready[2])
                                    : OpenSocket(scale.ready[2], scale.ready.size() > 3 ? std::atoi(scale.ready[3].c_str()) : 0, udp);

    std::vector<double> intervals;
    intervals.reserve(records + 1);
    const double cpu = CpuMs();
    timespec previous = Now();
    SendCommand(fd, udp, "SbP");
    for (int i = 1; i <= records + 1; ++i) {
        AwaitReply(fd);
        SleepUntilGapAfter(Now());
        const timespec now = Now();
        intervals.push_back(Ms(previous, now));
        previous = now;
        SendCommand(fd, udp, i <= records ? "Sr" + std::to_string(i) + ";Product " + std::to_string(i) +
                                                ";1.20;3;590000000" + std::to_string(1000 + i) + ";Shelf 7"
                                          : std::string("Se"));
    }
    AwaitReply(fd);
    const double cpuMs = CpuMs() - cpu;
    close(fd);
    kill(scale.pid, SIGTERM);
    waitpid(scale.pid, nullptr, 0);

    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    std::printf("floor %s: median %.2f ms over the gap per record (%d records, CPU %.3f ms a record)\n", link.c_str(),
                intervals[intervals.size() / 2] - 100.0, records, cpuMs / (records + 2));
    return 0;
}
