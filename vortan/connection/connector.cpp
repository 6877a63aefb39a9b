#include "vortan/connection/connector.h"

#include <QMetaObject>

#include <fcntl.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace vortan {
namespace {

// Fills a socket address for address:port; returns its size, 0 when the
// address is neither IPv4 nor IPv6.
socklen_t socketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& storage)
{
    std::memset(&storage, 0, sizeof storage);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof(sockaddr_in);
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        const QString scope = address.scopeId();
        if (!scope.isEmpty()) {
            bool numeric = false;
            const uint index = scope.toUInt(&numeric);
            in6->sin6_scope_id = numeric ? index : ::if_nametoindex(scope.toLocal8Bit().constData());
        }
        return sizeof(sockaddr_in6);
    }
    return 0;
}

// Binds the socket to the port on every address of its family, beside a
// listener on the same port; failing that it stays unbound.
void bindLocalPort(int fd, sa_family_t family, quint16 port)
{
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_storage local;
    const socklen_t size =
        socketAddress(family == AF_INET6 ? QHostAddress(QHostAddress::AnyIPv6) : QHostAddress(QHostAddress::AnyIPv4), port, local);
    [[maybe_unused]] const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&local), size);
}

}  // namespace

Connector::Connector(QString host, quint16 port, ConnectedHandler onConnected, FailedHandler onFailed,
                     QObject* parent, quint16 localPort)
    : Dialer(std::move(onConnected), std::move(onFailed), parent), m_host(std::move(host)), m_port(port),
      m_localPort(localPort)
{
}

Connector::~Connector()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
}

void Connector::start()
{
    QHostAddress numeric;
    if (numeric.setAddress(m_host)) {
        m_addresses = {numeric};
        QMetaObject::invokeMethod(this, &Connector::tryNext, Qt::QueuedConnection);
        return;
    }
    m_lookupId = QHostInfo::lookupHost(m_host, this, &Connector::lookedUp);
}

void Connector::lookedUp(const QHostInfo& info)
{
    m_lookupId = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        finishWithError(NetworkError::dns(info.error() == QHostInfo::UnknownError ? EAI_FAIL : EAI_NONAME));
        return;
    }
    m_addresses = info.addresses();
    tryNext();
}

void Connector::tryNext()
{
    m_notifier.reset();
    m_socket.reset();
    while (m_next < m_addresses.size()) {
        const QHostAddress address = m_addresses.at(m_next++);
        sockaddr_storage storage;
        const socklen_t size = socketAddress(address, m_port, storage);
        if (size == 0) {
            m_lastError = NetworkError::posix(EAFNOSUPPORT);
            continue;
        }
        UniqueFd fd(::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
        if (!fd) {
            m_lastError = NetworkError::posix(errno);
            continue;
        }
        if (m_localPort != 0)
            bindLocalPort(fd.get(), storage.ss_family, m_localPort);
        int result;
        do {
            result = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&storage), size);
        } while (result != 0 && errno == EINTR);
        if (result == 0) {
            m_socket = std::move(fd);
            // Loopback connects can complete at once; report from the loop all the same.
            QMetaObject::invokeMethod(this, &Connector::connectFinished, Qt::QueuedConnection);
            return;
        }
        if (errno != EINPROGRESS) {
            m_lastError = NetworkError::posix(errno);
            continue;
        }
        m_socket = std::move(fd);
        m_notifier = std::make_unique<QSocketNotifier>(m_socket.get(), QSocketNotifier::Write);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &Connector::connectFinished);
        return;
    }
    finishWithError(m_lastError.code != 0 || m_lastError.kind != NetworkError::Kind::posix
                        ? m_lastError
                        : NetworkError::posix(EHOSTUNREACH));
}

void Connector::connectFinished()
{
    m_notifier.reset();
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0) {
        m_lastError = NetworkError::posix(error);
        tryNext();
        return;
    }
    succeed(std::move(m_socket));
}

}  // namespace vortan
