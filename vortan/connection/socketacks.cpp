// The kernel's count of acknowledged bytes is in its own tcp_info, which
// the C library's declaration of that structure leaves out: this file uses
// the kernel's header alone.

#include "vortan/connection/socketutil.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

namespace vortan {

std::optional<qint64> bytesAckedByPeer(int fd)
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0
        || size < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked)
        return std::nullopt;
    return qint64(info.tcpi_bytes_acked);
}

std::optional<std::chrono::milliseconds> unacknowledgedFor(int fd)
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0
        || size < offsetof(tcp_info, tcpi_last_ack_recv) + sizeof info.tcpi_last_ack_recv)
        return std::nullopt;
    if (info.tcpi_unacked == 0 || info.tcpi_backoff < kDeadLinkBackoffs)
        return std::nullopt;
    return std::chrono::milliseconds(info.tcpi_last_ack_recv);
}

}  // namespace vortan
