#include "vortan/listener/socketlistener.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTcpSocket>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vortan {

namespace {
constexpr int kBacklog = 50;
}

SocketListener::SocketListener(quint16 port) : m_port(port) {}

SocketListener::~SocketListener() = default;

quint16 SocketListener::port() const
{
    return m_port;
}

void SocketListener::start()
{
    if (m_started)
        return;
    m_started = true;
    report(SocketListenerState::setup());
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [self = shared_from_this()] { self->listen(); }, Qt::QueuedConnection);
}

void SocketListener::listen()
{
    if (m_cancelled)
        return;
    bool ipv6 = true;
    UniqueFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!fd && errno == EAFNOSUPPORT) {
        ipv6 = false;
        fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    }
    if (!fd) {
        m_creationFailed = true;
        report(SocketListenerState::failed(NetworkError::posix(errno)));
        return;
    }
    const auto bindTo = [&](int socket, std::uint16_t port) {
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (ipv6) {
            const int off = 0;
            ::setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(port);
            address.sin6_addr = in6addr_any;
            return ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    };
    // Calls made to a contact's hints leave from our port too, which takes
    // SO_REUSEPORT on the listener; that would also let a second listener
    // share the port unseen, so a plain socket first checks that nobody
    // listens there.
    if (m_port != 0) {
        UniqueFd probe(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
        if (probe && bindTo(probe.get(), m_port) != 0) {
            report(SocketListenerState::failed(NetworkError::posix(errno)));
            return;
        }
    }
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const int bound = bindTo(fd.get(), m_port);
    if (bound != 0 || ::listen(fd.get(), kBacklog) != 0) {
        report(SocketListenerState::failed(NetworkError::posix(errno)));
        return;
    }
    auto* server = new QTcpServer(this);
    if (!server->setSocketDescriptor(static_cast<qintptr>(fd.get()))) {
        delete server;
        m_creationFailed = true;
        report(SocketListenerState::failed(NetworkError::posix(EBADF)));
        return;
    }
    fd.release();
    m_server = server;
    m_port = server->serverPort();
    connect(server, &QTcpServer::newConnection, this, &SocketListener::acceptPending);
    report(SocketListenerState::ready());
}

void SocketListener::acceptPending()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket* socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        socket->setParent(nullptr);
        if (m_onConnection && !m_cancelled)
            m_onConnection(socket);
        else
            delete socket;
    }
}

void SocketListener::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    if (QTcpServer* server = std::exchange(m_server, nullptr)) {
        server->disconnect(this);
        server->close();
        server->deleteLater();
    }
    report(SocketListenerState::cancelled());
}

void SocketListener::report(const SocketListenerState& state)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self = shared_from_this(), state] {
            if (self->m_onState)
                self->m_onState(*self, state);
        },
        Qt::QueuedConnection);
}

}  // namespace vortan
