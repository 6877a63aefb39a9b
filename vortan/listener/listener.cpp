#include "vortan/listener/listener.h"

#include "vortan/connection/networkerrors.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/util/ratelimitedlog.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace vortan {

Listener::Listener(KeyHelper& keys, ListenerDelegate* delegate, Clock* clock)
    : m_keys(keys), m_clock(clock ? clock : &systemClock()), m_timer(m_clock->createTimer([this] { start(); })),
      m_delegate(delegate)
{
}

Listener::~Listener()
{
    expireWeakReferences();
    m_timer->stop();
    if (m_listener)
        m_listener->cancel();
}

void Listener::start()
{
    if (!port)
        return;
    ++m_generation;
    m_timer->stop();
    if (m_listener)
        m_listener->cancel();  // replaced: what it reports from now on is ignored
    auto listener = std::make_shared<SocketListener>(*port);
    const WeakRef<Listener> self(this);
    listener->setStateHandler(
        [self, generation = m_generation](SocketListener& source, const SocketListenerState& state) {
            if (Listener* me = self.get())
                me->stateChanged(source, generation, state);
        });
    listener->setConnectionHandler([self](QTcpSocket* socket) {
        if (Listener* me = self.get())
            me->accept(socket);
        else
            delete socket;
    });
    m_listener = listener;
    listener->start();
}

void Listener::stop()
{
    started = false;
    if (m_listener)
        m_listener->cancel();
    m_listener.reset();
    m_timer->stop();
}

void Listener::stateChanged(SocketListener& source, std::uint64_t generation, const SocketListenerState& state)
{
    if (generation != m_generation) {
        logInfo(lcListener(), QStringLiteral("Listener ignored state %1 of a replaced listener").arg(state.name()));
        return;
    }
    switch (state.kind) {
    case SocketListenerState::Kind::failed:
        if (source.creationFailed())
            logWarning(lcListener(), QStringLiteral("Failed to create listener"));
        logWarning(lcListener(), QStringLiteral("Listener failed with ") + describe(state.error.value_or(NetworkError::posix(0))));
        source.cancel();
        break;
    case SocketListenerState::Kind::ready:
        logInfo(lcListener(), QStringLiteral("Listener ready on %1").arg(source.port()));
        break;
    case SocketListenerState::Kind::cancelled:
        logInfo(lcListener(), QStringLiteral("Listener cancelled."));
        if (started)
            m_timer->startOnce(m_restartDelay);
        break;
    case SocketListenerState::Kind::setup:
        break;
    }
    if (ListenerDelegate* delegate = m_delegate.get())
        delegate->listenerStateDidChange(state);
}

void Listener::accept(QTcpSocket* socket)
{
    // The address as the connection will name it (IPv4 without its IPv6
    // mapping); the streams tor hands over have none and share one bound.
    QHostAddress address = socket->peerAddress();
    bool isV4 = false;
    if (const quint32 v4 = address.toIPv4Address(&isV4); isV4)
        address = QHostAddress(v4);
    const QString from = address.isNull() ? QStringLiteral("tor") : address.toString();
    // Closes the connection that must make room for this one, once it exists.
    auto target = std::make_shared<std::weak_ptr<PeerConnection>>();
    const auto closed = [this](const QString& gone, bool addressFull) {
        const QString why = addressFull
            ? QStringLiteral("%1 connections from it are waiting for their handshake").arg(m_gate.perAddressLimit())
            : QStringLiteral("%1 connections are waiting for their handshake").arg(m_gate.limit());
        RateLimitedLog::preAuthentication().log(gone, QStringLiteral("Listener closed a connection from %1: %2").arg(gone, why));
    };
    HandshakeGate::Ticket ticket = m_gate.enter(
        from,
        [target] {
            if (const std::shared_ptr<PeerConnection> peer = target->lock()) {
                if (Connection* connection = peer->connection())
                    connection->cancel();
            }
        },
        closed);
    *target = PeerConnection::accepted(m_keys, socket, m_delegate.get(), std::move(ticket), m_clock);
}

}  // namespace vortan
