#include "vortan/connection/socketutil.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace vortan {

bool enableKeepAlive(int fd)
{
    const int on = 1;
    const int idle = kKeepAliveIdleSeconds;
    const int interval = kKeepAliveIntervalSeconds;
    const int count = kKeepAliveProbeCount;
    bool ok = ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 && ok;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 && ok;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0 && ok;
    const unsigned int timeoutMs = kUserTimeoutSeconds * 1000;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeoutMs, sizeof timeoutMs) == 0 && ok;
    return ok;
}

Endpoint numericEndpoint(const QHostAddress& address, quint16 port)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return Endpoint{QHostAddress(ipv4).toString(), port};
    return Endpoint{address.toString(), port};
}

bool isLocalStream(int fd)
{
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    return ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 && local.ss_family == AF_UNIX;
}

std::optional<StorageKey> endpointsOf(int fd)
{
    sockaddr_storage local{};
    sockaddr_storage remote{};
    socklen_t localSize = sizeof local;
    socklen_t remoteSize = sizeof remote;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0
        || ::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remoteSize) != 0) {
        return std::nullopt;
    }
    const auto endpoint = [](const sockaddr_storage& storage) {
        QHostAddress address(reinterpret_cast<const sockaddr*>(&storage));
        quint16 port = 0;
        if (storage.ss_family == AF_INET)
            port = ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
        else if (storage.ss_family == AF_INET6)
            port = ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
        return numericEndpoint(address, port);
    };
    return StorageKey{endpoint(local), endpoint(remote)};
}

StreamEnd streamEndOf(int fd)
{
    // A FIN leaves the socket in CLOSE_WAIT (we have not closed our side);
    // a reset moves it straight to CLOSE.
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return StreamEnd::orderly;
    return info.tcpi_state == TCP_CLOSE ? StreamEnd::reset : StreamEnd::orderly;
}

}  // namespace vortan
