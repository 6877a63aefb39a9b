#include "vortan/connection/connection.h"

#include "vortan/connection/connector.h"
#include "vortan/connection/networkerrors.h"
#include "vortan/connection/socketutil.h"
#include "vortan/connection/socksconnector.h"
#include "vortan/framer/framer.h"
#include "vortan/util/ratelimitedlog.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaObject>
#include <QTcpSocket>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <linux/sockios.h>

#include <algorithm>
#include <cerrno>

namespace vortan {
namespace {

std::chrono::milliseconds g_handshakeTimeout{30000};

// Completions outlive the connection: they are posted to the application
// object, not to the connection.
void postCompletion(Connection::SendCompletion completion, std::optional<NetworkError> error)
{
    if (!completion)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion), error = std::move(error)] { completion(error); }, Qt::QueuedConnection);
}

// Reads and drops what the kernel holds for us, so that closing sends a FIN
// rather than a reset. Bounded: a peer that keeps sending gets the reset.
void discardUnread(int fd)
{
    char scratch[65536];
    for (int i = 0; i < 16; ++i) {
        const ssize_t n = ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n <= 0 && !(n < 0 && errno == EINTR))
            return;
    }
}

}  // namespace

QString endpointText(const Endpoint& endpoint)
{
    if (endpoint.host.contains(QLatin1Char(':')))
        return QStringLiteral("[%1]:%2").arg(endpoint.host).arg(endpoint.port);
    return QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port);
}

std::chrono::milliseconds Connection::handshakeTimeout()
{
    return g_handshakeTimeout;
}

void Connection::setHandshakeTimeout(std::chrono::milliseconds timeout)
{
    g_handshakeTimeout = timeout;
}

Connection::Connection(KeyHelper& keys, QString host, quint16 port, QObject* parent)
    : QObject(parent), m_keys(keys), m_host(std::move(host)), m_port(port)
{
}

Connection::Connection(KeyHelper& keys, QString host, quint16 port, QString socksPath, QObject* parent)
    : QObject(parent), m_keys(keys), m_host(std::move(host)), m_port(port), m_socksPath(std::move(socksPath))
{
}

Connection::Connection(KeyHelper& keys, QTcpSocket* accepted, HandshakeGate::Ticket ticket, QObject* parent)
    : QObject(parent), m_keys(keys), m_socket(accepted), m_ticket(std::move(ticket)),
      m_heldLines(std::make_shared<HeldLines>())
{
    m_accepted = true;
    accepted->setParent(this);
    m_host = accepted->peerAddress().toString();
    m_port = accepted->peerPort();
}

Connection::~Connection()
{
    const NetworkError error = m_endError.value_or(NetworkError::posix(ECANCELED));
    closeSocket(true);
    finishPendingSends(error);
}

ConnectionState::Kind Connection::state() const
{
    switch (m_phase) {
    case Phase::idle:
        return ConnectionState::Kind::setup;
    case Phase::connecting:
    case Phase::handshaking:
        return ConnectionState::Kind::preparing;
    case Phase::ready:
        return ConnectionState::Kind::ready;
    case Phase::failed:
        return ConnectionState::Kind::failed;
    case Phase::cancelled:
        return ConnectionState::Kind::cancelled;
    }
    return ConnectionState::Kind::setup;
}

int Connection::socketDescriptor() const
{
    return m_socket ? static_cast<int>(m_socket->socketDescriptor()) : -1;
}

QString Connection::description() const
{
    if (m_endpoints)
        return endpointText(m_endpoints->localEndpoint) + QStringLiteral(" <-> ")
               + endpointText(m_endpoints->remoteEndpoint);
    return remoteDescription();
}

QString Connection::remoteDescription() const
{
    if (m_endpoints)
        return endpointText(m_endpoints->remoteEndpoint);
    return endpointText(Endpoint{m_host, m_port});
}

void Connection::start()
{
    if (m_phase != Phase::idle)
        return;
    const LogHold hold(m_heldLines);
    report(ConnectionState::setup());
    report(ConnectionState::preparing());
    if (m_socket) {
        m_phase = Phase::handshaking;
        attach();
        return;
    }
    m_phase = Phase::connecting;
    auto onConnected = [this](UniqueFd socket) { connected(std::move(socket)); };
    auto onFailed = [this](const NetworkError& error) { fail(error); };
    if (m_socksPath.isEmpty()) {
        // A host that drops our SYNs would keep the kernel trying for minutes;
        // the handshake then gets a timeout of its own (attach()). tor bounds
        // its own streams.
        m_handshakeTimer = m_clock->createTimer([this] { fail(NetworkError::posix(ETIMEDOUT)); });
        m_handshakeTimer->startOnce(g_handshakeTimeout);
        m_connector = std::make_unique<Connector>(m_host, m_port, onConnected, onFailed, this, m_localPort);
    } else
        m_connector = std::make_unique<SocksConnector>(m_socksPath, m_host, m_port, onConnected, onFailed, this);
    m_connector->start();
}

void Connection::releaseConnector()
{
    // Destroyed later: this may run inside one of its calls.
    if (m_connector) {
        m_connector->abandon();
        m_connector.release()->deleteLater();
    }
}

void Connection::connected(UniqueFd socket)
{
    // Called by the connector, which must not be destroyed inside its own call.
    releaseConnector();
    auto* tcp = new QTcpSocket(this);
    if (!tcp->setSocketDescriptor(socket.get(), QAbstractSocket::ConnectedState)) {
        delete tcp;
        fail(NetworkError::posix(EBADF));
        return;
    }
    socket.release();
    m_socket = tcp;
    m_phase = Phase::handshaking;
    attach();
}

std::optional<StorageKey> Connection::torEndpoints()
{
    // A Unix-domain socket has no addresses: each stream gets a number of
    // its own, so that the key stored per connection is never another's.
    static quint16 serial = 0;
    const Endpoint tor{QStringLiteral("tor"), ++serial};
    if (m_socksPath.isEmpty()) {
        m_host = tor.host;
        m_port = tor.port;
        return StorageKey{Endpoint{QStringLiteral("onion"), 0}, tor};
    }
    return StorageKey{tor, Endpoint{m_host, m_port}};
}

void Connection::attach()
{
    QTcpSocket* socket = m_socket;
    const int fd = static_cast<int>(socket->socketDescriptor());
    m_localStream = isLocalStream(fd);
    m_endpoints = m_localStream ? torEndpoints() : endpointsOf(fd);
    if (!m_endpoints) {
        // Reset before we got to it.
        fail(NetworkError::posix(ENOTCONN));
        return;
    }
    m_watch.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!m_localStream)
        enableKeepAlive(fd);
    // Nothing of ours is sent yet: what the kernel counts now (the SYN of an
    // outgoing connection) is not part of the stream.
    m_ackedBase = m_localStream ? std::optional<qint64>(0) : bytesAckedByPeer(fd);

    // Each turn of the event loop takes at most this much from the kernel:
    // a long message is opened as it comes, a bounded piece per turn, and
    // nothing else waits behind all of it. (A smaller buffer here, leaving
    // more to readDirectly(), measured slower on fast links.)
    socket->setReadBufferSize(kReadPerTurn);
    connect(socket, &QTcpSocket::readyRead, this, &Connection::readAvailable);
    connect(socket, &QTcpSocket::bytesWritten, this, &Connection::bytesWritten);
    connect(socket, &QTcpSocket::errorOccurred, this, &Connection::socketError);

    m_framer = std::make_unique<Framer>(m_keys);
    m_framer->setEndpoints(*m_endpoints);
    m_framer->setOutputHandler([this](QByteArrayView bytes) {
        if (!m_socket)
            return;
        m_bytesQueued += bytes.size();
        // A large message goes straight to the kernel while nothing waits in
        // the socket's own buffer: its bytes are not copied into it first and
        // need no turn of the event loop. Small ones, and what the kernel does
        // not take, wait there, in order (see kGatheredBelow).
        qsizetype sent = 0;
        if (bytes.size() >= kGatheredBelow && m_socket->bytesToWrite() == 0) {
            const ssize_t n = ::send(static_cast<int>(m_socket->socketDescriptor()), bytes.data(), std::size_t(bytes.size()),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            sent = n > 0 ? qsizetype(n) : 0;
        }
        if (sent < bytes.size())
            m_socket->write(bytes.data() + sent, bytes.size() - sent);
    });
    m_framer->setReadyHandler([this] { framerReady(); });
    m_framer->setFailedHandler([this] { fail(NetworkError::posix(ECONNABORTED)); });
    m_framer->setMessageHandler([this](MessageType type, const QByteArray& payload) { deliver(type, payload); });
    m_framer->setOversizedHandler([this](MessageType type, std::int64_t length) {
        // Memory bounds what is taken; the connection goes on.
        logWarning(lcConnection(), QStringLiteral("Dropped a message of type %1 and %2 bytes from %3: more than %4 bytes are not taken")
                                       .arg(rawValue(type))
                                       .arg(length)
                                       .arg(remoteDescription())
                                       .arg(Framer::kMaxPayloadLength));
    });

    m_handshakeTimer = m_clock->createTimer([this] {
        const LogHold hold(m_heldLines);  // holds nothing for an outgoing connection
        fail(NetworkError::posix(ETIMEDOUT));
    });
    m_handshakeTimer->startOnce(g_handshakeTimeout);
    m_framer->start();
    if (m_phase == Phase::handshaking && socket->bytesAvailable() > 0)
        readAvailable();
}

void Connection::readAvailable()
{
    if (!m_socket || !m_framer)
        return;
    const LogHold hold(m_heldLines);
    // One buffer for every read: a fresh one per read costs an allocation
    // (and, for large reads, fresh pages) each time.
    const qint64 available = m_socket->bytesAvailable();
    if (available <= 0)
        return;
    if (m_readBuffer.size() < available)
        m_readBuffer.resize(available);
    const qint64 n = m_socket->read(m_readBuffer.data(), available);
    if (n > 0)
        m_framer->input(QByteArrayView(m_readBuffer.constData(), n));
    readDirectly(kReadPerTurn - std::max<qint64>(n, 0));
    if (m_readBuffer.size() > kKeptReadBuffer)
        m_readBuffer = QByteArray();
}

void Connection::readDirectly(qint64 budget)
{
    // What arrived meanwhile comes straight from the kernel, without being
    // copied through the socket's own buffer first (which is empty now, so
    // the order holds). The end of the stream is left for the socket to see
    // and report; an error ends the connection here, as the socket would.
    while (budget > 0 && m_socket && m_framer && m_socket->bytesAvailable() == 0) {
        const auto fd = static_cast<int>(m_socket->socketDescriptor());
        if (fd < 0)
            return;
        if (m_readBuffer.size() < budget)
            m_readBuffer.resize(budget);
        const ssize_t n = ::recv(fd, m_readBuffer.data(), std::size_t(budget), MSG_DONTWAIT);
        if (n > 0) {
            budget -= n;
            m_framer->input(QByteArrayView(m_readBuffer.constData(), n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                fail(NetworkError::posix(errno));
            return;
        }
    }
}

void Connection::bytesWritten()
{
    if (!m_socket)
        return;
    const qint64 handedOver = m_bytesQueued - m_socket->bytesToWrite();
    while (!m_pendingSends.empty() && m_pendingSends.front().end <= handedOver) {
        postCompletion(std::move(m_pendingSends.front().completion), std::nullopt);
        m_pendingSends.pop_front();
    }
}

void Connection::socketError()
{
    if (!m_socket)
        return;
    const LogHold hold(m_heldLines);
    const QAbstractSocket::SocketError error = m_socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // Qt has read what came before the end; hand it to the framer first.
        readAvailable();
        if (m_phase == Phase::failed || m_phase == Phase::cancelled)
            return;
        const bool reset = !m_watch || streamEndOf(m_watch.get()) == StreamEnd::reset;
        if (reset || m_phase != Phase::ready) {
            fail(NetworkError::posix(ECONNRESET));
            return;
        }
        // An orderly end after the handshake: the peer went away.
        m_phase = Phase::cancelled;
        m_endError = NetworkError::posix(ECANCELED);
        closeSocket(false);
        finishPendingSends(*m_endError);
        report(ConnectionState::cancelled());
        return;
    }
    fail(streamErrorFor(error, m_socket->errorString()));
}

QByteArray Connection::refusedKey() const
{
    return m_framer ? m_framer->refusedKey() : QByteArray();
}

void Connection::framerReady()
{
    if (m_phase != Phase::handshaking)
        return;
    // The timer and the ticket stay until the peer's first frame: a
    // replayed record gets this far too.
    m_phase = Phase::ready;
    report(ConnectionState::ready());
}

void Connection::fail(const NetworkError& error)
{
    if (m_phase == Phase::failed || m_phase == Phase::cancelled)
        return;
    m_phase = Phase::failed;
    m_endError = error;
    if (m_handshakeTimer)
        m_handshakeTimer->stop();
    m_ticket.reset();
    if (m_heldLines && !m_authenticated) {
        // Whoever it was never proved who they are: one line per address
        // and minute, whatever they do.
        const QString doing = m_heldLines->lastLine();
        m_heldLines->drop();
        const QString from = m_endpoints ? m_endpoints->remoteEndpoint.host : m_host;
        RateLimitedLog::preAuthentication().log(
            from, QStringLiteral("Refused a connection from %1 before it was authenticated: %2%3")
                      .arg(from, describe(error), doing.isEmpty() ? QString() : QStringLiteral(" after \"%1\"").arg(doing)));
    }
    releaseConnector();
    closeSocket(false);
    finishPendingSends(error);
    report(ConnectionState::failed(error));
}

void Connection::cancel()
{
    if (m_phase == Phase::cancelled)
        return;
    if (m_phase != Phase::failed) {
        m_endError = NetworkError::posix(ECANCELED);
        closeSocket(true);
        finishPendingSends(*m_endError);
    }
    m_phase = Phase::cancelled;
    if (m_handshakeTimer)
        m_handshakeTimer->stop();
    m_ticket.reset();
    if (m_heldLines && !m_authenticated)
        m_heldLines->drop();
    releaseConnector();
    // The owner no longer wants what has not been delivered yet.
    std::erase_if(m_events, [](const Event& event) { return !event.isState; });
    report(ConnectionState::cancelled());
}

qint64 Connection::bytesAcknowledged()
{
    // Through our own second descriptor: Qt may have closed its own when it
    // met the error that ends the connection.
    if (m_watch && m_localStream) {
        // Through tor nobody tells what the peer has: what tor has read is
        // the nearest we know (the kernel's queue counts a little more than
        // the bytes in it, so this errs low).
        int unread = 0;
        if (::ioctl(m_watch.get(), SIOCOUTQ, &unread) == 0) {
            const qint64 handedOver = m_bytesQueued - (m_socket ? m_socket->bytesToWrite() : 0);
            m_bytesAcknowledged = std::clamp(handedOver - unread, m_bytesAcknowledged, m_bytesQueued);
        }
    } else if (m_watch && m_ackedBase) {
        if (const std::optional<qint64> acked = bytesAckedByPeer(m_watch.get()))
            m_bytesAcknowledged = std::clamp(*acked - *m_ackedBase, m_bytesAcknowledged, m_bytesQueued);
    }
    return m_bytesAcknowledged;
}

std::optional<std::chrono::milliseconds> Connection::unacknowledgedFor() const
{
    if (!m_watch || m_localStream || !m_socksPath.isEmpty())
        return std::nullopt;
    return vortan::unacknowledgedFor(m_watch.get());
}

void Connection::closeSocket(bool discardPending)
{
    bytesAcknowledged();  // the last count, while the socket still tells
    if (QTcpSocket* socket = m_socket) {
        socket->disconnect(this);
        if (discardPending && m_watch)
            discardUnread(m_watch.get());
        socket->abort();
        socket->deleteLater();
        m_socket = nullptr;
    }
    m_watch.reset();
}

void Connection::finishPendingSends(const NetworkError& error)
{
    while (!m_pendingSends.empty()) {
        postCompletion(std::move(m_pendingSends.front().completion), error);
        m_pendingSends.pop_front();
    }
}

void Connection::send(MessageType type, QByteArrayView head, QByteArrayView body, SendCompletion completion)
{
    if (m_phase != Phase::ready || !m_socket) {
        postCompletion(std::move(completion), m_endError.value_or(NetworkError::posix(ENOTCONN)));
        return;
    }
    if (!m_framer->send(type, head, body)) {
        postCompletion(std::move(completion), NetworkError::posix(EMSGSIZE));
        return;
    }
    if (completion) {
        m_pendingSends.push_back(PendingSend{m_bytesQueued, std::move(completion)});
        bytesWritten();  // the kernel may have taken it already
    }
}

void Connection::report(const ConnectionState& state)
{
    m_events.push_back(Event{true, state, MessageType::invalid, {}});
    scheduleDrain();
}

void Connection::deliver(MessageType type, const QByteArray& payload)
{
    if (!m_authenticated) {
        // The frame opened under the connection key: the peer holds it.
        m_authenticated = true;
        if (m_handshakeTimer)
        m_handshakeTimer->stop();
        m_ticket.reset();
        if (m_heldLines)
            m_heldLines->release();
    }
    m_events.push_back(Event{false, {}, type, payload});
    scheduleDrain();
}

void Connection::scheduleDrain()
{
    if (m_drainScheduled)
        return;
    m_drainScheduled = true;
    // Posted to the application object: the drain may end up destroying this
    // connection, which is then not the receiver of the running event.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive = QPointer<Connection>(this)] {
            if (alive)
                alive->drain();
        },
        Qt::QueuedConnection);
}

void Connection::drain()
{
    m_drainScheduled = false;
    // Shared: the connection may go inside the loop, the held lines not yet.
    const LogHold hold(m_heldLines);
    QPointer<Connection> alive(this);
    while (!m_events.empty()) {
        Event event = std::move(m_events.front());
        m_events.pop_front();
        {
            // Copies: a handler may replace itself, and the copy keeps what it
            // captured alive until the call has returned. Releasing the copy
            // may destroy this connection, hence the check after the block.
            if (event.isState) {
                StateHandler handler = m_stateHandler;
                if (handler)
                    handler(event.state);
            } else {
                MessageHandler handler = m_messageHandler;
                if (handler)
                    handler(event.type, std::move(event.payload));
            }
        }
        if (!alive)
            return;
    }
}

}  // namespace vortan
