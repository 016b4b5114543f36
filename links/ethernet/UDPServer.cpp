#include "UDPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

EIdSocketError::EIdSocketError(const std::string& what, int code)
    : std::runtime_error(code ? what + ": " + std::strerror(code) : what), ErrorCode(code)
{
}

void TIdSocketHandle::SendDatagram(const QString& host, std::int32_t port, const QByteArray& bytes) const
{
    if (Handle < 0)
        throw EIdSocketError("Socket is not open", EBADF);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    // inet_pton takes exactly four dotted decimal numbers: no names, no lookup.
    if (inet_pton(AF_INET, host.toLatin1().constData(), &to.sin_addr) != 1)
        throw EIdSocketError("Not a dotted IPv4 address: " + host.toStdString());
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

// The listener thread. It owns nothing: the descriptors stay open until it
// has been joined.
void TIdUDPServer::Listen(std::vector<int> handles, int wakeFd, int bufferSize)
{
    std::vector<pollfd> fds;
    for (int fd : handles)
        fds.push_back(pollfd{fd, POLLIN, 0});
    fds.push_back(pollfd{wakeFd, POLLIN, 0});
    std::vector<char> buffer(static_cast<size_t>(bufferSize > 0 ? bufferSize : 1));

    while (!stop_.load(std::memory_order_acquire)) {
        const int ready = ::poll(fds.data(), fds.size(), 1000);
        if (ready <= 0)
            continue; // timeout or EINTR: look at the stop flag again
        for (size_t i = 0; i + 1 < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const ssize_t got = ::recv(fds[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got < 0)
                continue;
            try {
                if (OnUDPRead)
                    OnUDPRead(QByteArray(buffer.data(), static_cast<qsizetype>(got)));
            } catch (...) {
                // One bad datagram must not end the listener.
            }
        }
    }
}
