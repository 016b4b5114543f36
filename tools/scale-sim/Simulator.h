#pragma once
// The simulator's one event loop: an epoll over every scale's endpoint and the
// quit signals, and the replies that go out when they fall due. No threads:
// a thousand scales cost a thousand sockets, not a thousand stacks.
#include "Options.h"
#include "Scale.h"

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <vector>

class Simulator {
public:
    explicit Simulator(const SimOptions& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the endpoints, announces them on stdout and serves until SIGTERM
    // or SIGINT (or a serial drop); returns the exit code.
    int Run();

private:
    using Clock = std::chrono::steady_clock;
    struct Output {
        Clock::time_point due;
        std::string bytes;
        bool drop = false; // close the connection instead of sending
        sockaddr_in to{};  // UDP: the sender of the command
    };
    // One simulated scale: its endpoint, its client and its own count of commands.
    struct Endpoint {
        explicit Endpoint(const SimOptions& options) : scale(options) {}
        Scale scale;
        LineSplitter lines;
        std::deque<Output> queue;
        std::string host;
        unsigned port = 0;
        int listenFd = -1;      // TCP
        int ioFd = -1;          // pty master, device, TCP client or UDP socket
        int recordFd = -1;
        bool dropping = false;  // a drop is due: later commands on this connection go unanswered
        long received = 0;      // bytes in over the run, for --cut-after
        bool cut = false;       // --cut-after has cut its client
        int clients = 0;        // TCP clients accepted so far
    };
    // When a scale's next reply falls due; a scale may be listed more than once.
    using Due = std::pair<Clock::time_point, std::size_t>;

    int Open();
    int OpenPty(Endpoint& e);
    int OpenDevice(Endpoint& e);
    int OpenSockets(int type);
    int BindSocket(Endpoint& e, std::size_t index, int type, sockaddr_in address, unsigned port, bool anyPort);
    int OpenRecords();
    bool Watch(int fd, std::size_t index, bool listening);
    void Unwatch(int fd);
    void ReadStream(std::size_t index);
    std::size_t CutLength(Endpoint& e, std::size_t n);
    void AcceptClient(std::size_t index);
    void ReadDatagram(std::size_t index);
    void Handle(std::size_t index, std::string_view command, const sockaddr_in* from);
    void SendDue();
    void Deliver(Endpoint& e, std::size_t index, const Output& out);
    void Drop(Endpoint& e, std::size_t index);
    void CloseClient(Endpoint& e, std::size_t index, const char* why);
    void WaitSerialDrained(Endpoint& e);
    int PollTimeout() const;
    void Record(Endpoint& e, const char* data, size_t size);
    void Log(const std::string& line) const;
    void Log(std::size_t index, const std::string& line) const; // names the scale when there are several

    const SimOptions& options_;
    std::vector<std::unique_ptr<Endpoint>> scales_;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due_;
    int epollFd_ = -1;
    int signalFd_ = -1;
    int slaveFd_ = -1;     // held so the pty lives on while the program closes its end
    bool finished_ = false;
    int exitCode_ = 0;
};
