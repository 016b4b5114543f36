#include "IdUdpServer.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

EIdSocketError::EIdSocketError(const std::string& what, int code)
    : std::runtime_error(code ? what + ": " + std::strerror(code) : what), ErrorCode(code)
{
}

bool ParseDottedDecimal(const QString& text, std::uint32_t& address)
{
    // Four numbers of one to three digits, each at most 255, between three dots.
    std::uint32_t value = 0;
    std::uint32_t number = 0;
    int digits = 0;
    int dots = 0;
    for (const QChar c : text) {
        if (c == '.') {
            if (digits == 0 || ++dots > 3)
                return false;
            value = (value << 8) | number;
            number = 0;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            number = number * 10 + static_cast<std::uint32_t>(c.unicode() - '0');
            ++digits;
            if (number > 255)
                return false;
        } else {
            return false;
        }
    }
    if (dots != 3 || digits == 0)
        return false;
    address = (value << 8) | number;
    return true;
}

void TIdSocketHandle::SendDatagram(const QString& host, std::int32_t port, const QByteArray& bytes) const
{
    std::uint32_t address = 0;
    if (!ParseDottedDecimal(host, address))
        throw EIdSocketError("Not a dotted IPv4 address: " + host.toStdString());
    SendDatagram(address, port, bytes);
}

void TIdSocketHandle::SendDatagram(std::uint32_t address, std::int32_t port, const QByteArray& bytes) const
{
    if (Handle < 0)
        throw EIdSocketError("Socket is not open", EBADF);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(address);
    ssize_t sent;
    do {
        sent = ::sendto(Handle, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        throw EIdSocketError("sendto failed", errno);
    if (sent != bytes.size())
        throw EIdSocketError("Datagram sent short");
}

TIdUDPServer::TIdUDPServer() = default;

TIdUDPServer::~TIdUDPServer()
{
    Close();
}

TIdSocketHandle& TIdUDPServer::AddBinding()
{
    Bindings.push_back(TIdSocketHandle{DefaultPort, -1});
    return Bindings.back();
}

void TIdUDPServer::SetActive(bool value)
{
    if (value && !Active())
        Open();
    else if (!value)
        Close();
}

const TIdSocketHandle& TIdUDPServer::ActiveBinding() const
{
    if (!Active())
        throw EIdSocketError("Endpoint is not active");
    return Bindings.front();
}

std::uint16_t TIdUDPServer::BoundPort() const
{
    if (!Active())
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(Bindings.front().Handle, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void TIdUDPServer::Open()
{
    if (Bindings.empty())
        AddBinding();
    std::vector<int> handles;
    try {
        for (TIdSocketHandle& binding : Bindings) {
            // SO_REUSEADDR stays off: a port another program holds must fail here.
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd < 0)
                throw EIdSocketError("socket failed", errno);
            binding.Handle = fd;
            handles.push_back(fd);
            if (ReceiveBufferBytes > 0)
                ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &ReceiveBufferBytes, sizeof ReceiveBufferBytes);
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_addr.s_addr = htonl(INADDR_ANY);
            local.sin_port = htons(binding.Port);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
                throw EIdSocketError("Could not bind UDP port " + std::to_string(binding.Port), errno);
        }
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0)
            throw EIdSocketError("eventfd failed", errno);
        stop_.store(false, std::memory_order_release);
        listener_ = std::thread(&TIdUDPServer::Listen, this, handles, wakeFd_, BufferSize);
    } catch (...) {
        Close();
        throw;
    }
}

void TIdUDPServer::Close()
{
    if (listener_.joinable()) {
        stop_.store(true, std::memory_order_release);
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        listener_.join();
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    for (TIdSocketHandle& binding : Bindings) {
        if (binding.Handle >= 0) {
            ::close(binding.Handle);
            binding.Handle = -1;
        }
    }
}

namespace {

// Datagrams taken with one recvmmsg: under a flood, a call per datagram
// would fall behind the sender.
constexpr unsigned kBatch = 32;
// Batches taken per wake-up before poll looks at the eventfd again.
constexpr int kBatchesPerWake = 8;

struct TReadBatch {
    explicit TReadBatch(size_t bufferSize) : size(bufferSize), bytes(bufferSize * kBatch) {}

    // Up to kBatch datagrams that wait on fd, without waiting; 0 when none.
    unsigned Read(int fd)
    {
        for (unsigned i = 0; i < kBatch; ++i) {
            iov[i] = iovec{bytes.data() + i * size, size};
            msgs[i] = mmsghdr{};
            msgs[i].msg_hdr.msg_iov = &iov[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &from[i];
            msgs[i].msg_hdr.msg_namelen = sizeof from[i];
        }
        const int got = ::recvmmsg(fd, msgs.data(), kBatch, MSG_DONTWAIT, nullptr);
        return got > 0 ? static_cast<unsigned>(got) : 0;  // EAGAIN, EINTR: none for now
    }
    const char* Data(unsigned i) const { return bytes.data() + i * size; }
    size_t Length(unsigned i) const { return std::min<size_t>(msgs[i].msg_len, size); }
    std::uint32_t From(unsigned i) const { return ntohl(from[i].sin_addr.s_addr); }

    size_t size;
    std::vector<char> bytes;
    std::array<mmsghdr, kBatch> msgs{};
    std::array<iovec, kBatch> iov{};
    std::array<sockaddr_in, kBatch> from{};
};

} // namespace

// The listener thread. It owns nothing: the descriptors stay open until it
// has been joined.
void TIdUDPServer::Listen(std::vector<int> handles, int wakeFd, int bufferSize)
{
    std::vector<pollfd> fds;
    for (int fd : handles)
        fds.push_back(pollfd{fd, POLLIN, 0});
    fds.push_back(pollfd{wakeFd, POLLIN, 0});
    TReadBatch batch(static_cast<size_t>(bufferSize > 0 ? bufferSize : 1));

    while (!stop_.load(std::memory_order_acquire)) {
        // No timeout: a datagram or the eventfd of Close wakes it, nothing else.
        const int ready = ::poll(fds.data(), fds.size(), -1);
        if (ready <= 0)
            continue; // EINTR: look at the stop flag again
        for (size_t i = 0; i + 1 < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            for (int b = 0; b < kBatchesPerWake && !stop_.load(std::memory_order_acquire); ++b) {
                const unsigned got = batch.Read(fds[i].fd);
                for (unsigned m = 0; m < got; ++m)
                    Deliver(batch.From(m), batch.Data(m), batch.Length(m));
                if (got < kBatch)
                    break;
            }
        }
    }
}

// One datagram to OnUDPRead, unless AcceptFrom turns its sender away first.
void TIdUDPServer::Deliver(std::uint32_t from, const char* data, size_t length)
{
    try {
        if (AcceptFrom && !AcceptFrom(from))
            return;
        if (OnUDPRead)
            OnUDPRead(QByteArray(data, static_cast<qsizetype>(length)), from);
    } catch (...) {
        // One bad datagram must not end the listener.
    }
}
