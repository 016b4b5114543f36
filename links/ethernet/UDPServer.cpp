#include "UDPServer.h"

#include <QStringList>

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

bool ParseDottedDecimal(const QString& text, std::uint32_t& address)
{
    const QStringList parts = text.split('.');
    if (parts.size() != 4)
        return false;
    std::uint32_t value = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        std::uint32_t number = 0;
        for (const QChar c : part) {
            if (c < '0' || c > '9')
                return false;
            number = number * 10 + static_cast<std::uint32_t>(c.unicode() - '0');
        }
        if (number > 255)
            return false;
        value = (value << 8) | number;
    }
    address = value;
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
        // No timeout: a datagram or the eventfd of Close wakes it, nothing else.
        const int ready = ::poll(fds.data(), fds.size(), -1);
        if (ready <= 0)
            continue; // EINTR: look at the stop flag again
        for (size_t i = 0; i + 1 < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(fds[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got < 0)
                continue;
            try {
                if (OnUDPRead)
                    OnUDPRead(QByteArray(buffer.data(), static_cast<qsizetype>(got)), ntohl(from.sin_addr.s_addr));
            } catch (...) {
                // One bad datagram must not end the listener.
            }
        }
    }
}
