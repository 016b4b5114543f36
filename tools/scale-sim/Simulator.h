#pragma once
// The simulator's one event loop: a poll over the endpoint and the quit
// signals, and a queue of replies that go out when they fall due. No threads.
#include "Options.h"
#include "Scale.h"

#include <netinet/in.h>

#include <chrono>
#include <deque>
#include <string>

class Simulator {
public:
    explicit Simulator(const SimOptions& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the endpoint, announces it on stdout and serves until SIGTERM or
    // SIGINT (or a serial drop); returns the exit code.
    int Run();

private:
    using Clock = std::chrono::steady_clock;
    struct Output {
        Clock::time_point due;
        std::string bytes;
        bool drop = false; // close the connection instead of sending
        sockaddr_in to{};  // UDP: the sender of the command
    };

    int Open();
    int OpenPty();
    int OpenDevice();
    int OpenSocket(int type);
    void ReadStream();
    void AcceptClient();
    void ReadDatagram();
    void Handle(std::string_view command, const sockaddr_in* from);
    void SendDue();
    void Deliver(const Output& out);
    void Drop();
    void CloseClient(const char* why);
    void WaitSerialDrained();
    int PollTimeout() const;
    void Record(const char* data, size_t size);
    void Log(const std::string& line) const;

    const SimOptions& options_;
    Scale scale_;
    LineSplitter lines_;
    std::deque<Output> queue_;
    int signalFd_ = -1;
    int recordFd_ = -1;
    int listenFd_ = -1;    // TCP
    int ioFd_ = -1;        // pty master, device, TCP client or UDP socket
    int slaveFd_ = -1;     // held so the pty lives on while the program closes its end
    bool dropping_ = false; // a drop is due: later commands on this connection go unanswered
    bool finished_ = false;
    int exitCode_ = 0;
};
