#include "vortan/controller/listening.h"

#include "vortan/connection/connection.h"
#include "vortan/crypto/crypto.h"
#include "vortan/listener/listener.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/portmapping/portmapper.h"
#include "vortan/portmapping/queuedcall.h"
#include "vortan/presence/localpresence.h"

#include <QDBusConnection>
#include <QHostAddress>

namespace vortan {

Listening::Listening(Clock& clock, PortMapper& portMapper, bool usePresence, Engine engine)
    : m_clock(clock), m_portMapper(portMapper), m_usePresence(usePresence), m_engine(std::move(engine))
{
}

Listening::~Listening() = default;

void Listening::start(bool listen, bool mapPort)
{
    m_started = true;
    m_listen = listen;
    m_mapPort = mapPort;
    m_portMapper.port_mapping_init();
    const std::optional<User>& me = m_engine.me();
    if (me && !me->address) {
        // Comes back on the mapper's thread; dropped once this object is gone.
        m_portMapper.get_public_address(
            queuedTo<const QString&>(this, [this](const QString& address) { receivedPublicAddress(address); }));
    }
    if (m_listen) {
        if (m_mapPort)
            this->mapPort();
        startListener();
    }
    updatePresence();
}

void Listening::setSettings(bool listen, bool mapPort)
{
    if (!m_started)
        return;
    m_listen = listen;
    m_mapPort = mapPort;
    if (!listen) {
        ensureListener().stop();
        stopPortMapping(Wait::no);
        updatePresence();
        return;
    }
    if (mapPort)
        this->mapPort();
    else
        stopPortMapping(Wait::no);
    startListener();
}

void Listening::portChanged()
{
    ensureListener().stop();
    stopPortMapping(Wait::no);
    if (m_listen) {
        if (m_mapPort)
            mapPort();
        startListener();
    }
}

void Listening::stop()
{
    stopPortMapping(Wait::yes);
}

void Listening::closePresence()
{
    m_presence.reset();
}

void Listening::closeListener()
{
    m_listener.reset();
}

void Listening::receivedPublicAddress(const QString& address)
{
    if (address.isEmpty())
        return;
    if (m_reachability.externalAddress != address) {
        m_reachability.externalAddress = address;
        emit reachabilityChanged();
    }
    m_engine.publicAddress(address);
}

void Listening::stopPortMapping(Wait wait)
{
    // Only a mapping this controller asked for can stand; without one there is
    // nothing to remove and no reason to wait for the mapper's queue (which
    // may be busy discovering the gateway for the external address).
    if (m_mapRequested) {
        if (wait == Wait::yes) {
            // The gateway may be slow or gone (a discovery alone takes 2 s):
            // the process does not wait for it beyond a bound.
            if (!m_portMapper.unmap_port_within(kGatewayWaitAtStop))
                logWarning(lcPortMapping(), QStringLiteral("Gave up waiting for the gateway after %1 s: the port mapping may still stand.")
                                                .arg(std::chrono::duration_cast<std::chrono::seconds>(kGatewayWaitAtStop).count()));
        } else
            m_portMapper.unmap_port_async();
        m_mapRequested = false;
    }
    ++m_mappingGeneration;
    setRouter(Reachability::Router::off, {});
    logInfo(lcPortMapping(), QStringLiteral("Stopped port mapping."));
}

void Listening::mapPort()
{
    const std::optional<User>& me = m_engine.me();
    if (!me || !me->port)
        return;
    const std::uint16_t port = *me->port;
    setRouter(Reachability::Router::searching, {});
    // Comes back on the mapper's thread; dropped once this object is gone.
    m_portMapper.map_port_reporting(
        port, queuedTo<bool, const QString&>(this, [this, generation = ++m_mappingGeneration](bool forwarded,
                                                                                             const QString& problem) {
            if (generation != m_mappingGeneration)
                return;  // stopped or asked again meanwhile
            setRouter(forwarded ? Reachability::Router::forwarded : Reachability::Router::failed, problem);
            if (forwarded)
                logInfo(lcPortMapping(), QStringLiteral("The gateway forwards the port."));
            else
                logWarning(lcPortMapping(), QStringLiteral("The port is not forwarded: %1").arg(problem));
            if (forwarded && m_reachability.externalAddress.isEmpty())
                m_portMapper.get_public_address(
                    queuedTo<const QString&>(this, [this](const QString& address) { receivedPublicAddress(address); }));
        }));
    m_mapRequested = true;
    logInfo(lcPortMapping(), QStringLiteral("Mapped port %1.").arg(port));
}

Listener& Listening::ensureListener()
{
    if (!m_listener)
        m_listener = std::make_unique<Listener>(m_engine.keys(), m_engine.delegate, &m_clock);
    return *m_listener;
}

void Listening::startListener()
{
    const std::optional<User>& me = m_engine.me();
    if (!me || !me->port || *me->port == 0)
        return;
    Listener& listener = ensureListener();
    if (listener.started)
        return;
    listener.port = *me->port;
    listener.started = true;
    listener.start();
}

void Listening::listenerStateDidChange(const SocketListenerState& state)
{
    switch (state.kind) {
    case SocketListenerState::Kind::failed:
        setState(ListenerState::failed(VortanError::network(state.error.value_or(NetworkError::posix(0)))));
        return;
    case SocketListenerState::Kind::setup:
        return;
    case SocketListenerState::Kind::ready:
        setState(ListenerState::ready());
        return;
    case SocketListenerState::Kind::cancelled:
        setState(ListenerState::stopped());
        return;
    }
    logWarning(lcController(), QStringLiteral("Unknown state: ") + state.name());
}

void Listening::setRouter(Reachability::Router router, const QString& problem)
{
    if (m_reachability.router == router && m_reachability.routerError == problem)
        return;
    m_reachability.router = router;
    m_reachability.routerError = router == Reachability::Router::failed ? problem : QString();
    emit reachabilityChanged();
}

void Listening::setState(ListenerState state)
{
    // Announced even when the value does not change.
    m_state = std::move(state);
    emit stateChanged();
    updatePresence();
}

// ---- Local presence

void Listening::followPresence()
{
    m_presence = std::make_unique<LocalPresence>(QDBusConnection::systemBus(), m_clock);
    connect(m_presence.get(), &LocalPresence::stateChanged, this, [this] { presenceStateChanged(); });
    connect(m_presence.get(), &LocalPresence::userSeen, this,
            [this](const QByteArray& key, const QList<Endpoint>& endpoints) {
                if (const User* user = m_engine.findUser(key)) {
                    for (const Endpoint& endpoint : endpoints)
                        logDebug(lcPresence(), QStringLiteral("%1 is on the local network at %2 port %3.")
                                                   .arg(user->name, endpoint.host)
                                                   .arg(endpoint.port));
                    m_engine.userSeen(key, endpoints);
                }
            });
    connect(m_presence.get(), &LocalPresence::userGone, this, [this](const QByteArray& key) { m_engine.userGone(key); });
    // A renumbered host: a connection to its old address only waits for
    // TCP to give up, which takes many minutes. Closed, it is made
    // again to the new address.
    connect(m_presence.get(), &LocalPresence::userMoved, this, [this](const QByteArray& key, const QString& from) {
        const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(key);
        Connection* connection = peer ? peer->connection() : nullptr;
        if (!connection || !connection->endpoints()
            || QHostAddress(connection->endpoints()->remoteEndpoint.host) != QHostAddress(from))
            return;
        const User* user = m_engine.findUser(key);
        logInfo(lcPresence(),
                QStringLiteral("%1 is no longer at %2: closing the connection there.").arg(user ? user->name : QString(), from));
        connection->cancel();
    });
    m_presence->start();
}

void Listening::updatePresence()
{
    if (!m_usePresence || !m_started)
        return;
    if (!m_presence)
        followPresence();
    m_presence->setKnownKeys(m_engine.userKeys());
    const std::optional<User>& me = m_engine.me();
    const bool announce = m_listen && me && me->port && *me->port != 0 && m_state.kind() == ListenerState::Kind::ready;
    // Signed with the identity key: an announcement replayed elsewhere is ignored.
    m_presence->setAnnouncement(announce ? me->key : QByteArray(), announce ? *me->port : 0,
                                [this](const QByteArray& message) -> QByteArray {
                                    try {
                                        const crypto::Signature signature = m_engine.keys().signingKey().sign(
                                            {reinterpret_cast<const std::uint8_t*>(message.constData()),
                                             static_cast<std::size_t>(message.size())});
                                        return QByteArray(reinterpret_cast<const char*>(signature.data()),
                                                          static_cast<qsizetype>(signature.size()));
                                    } catch (const std::exception& e) {
                                        logWarning(lcPresence(), QStringLiteral("Cannot sign the announcement: %1")
                                                                     .arg(QString::fromUtf8(e.what())));
                                        return {};
                                    }
                                });
    presenceStateChanged();
}

void Listening::presenceStateChanged()
{
    Reachability::Presence presence = Reachability::Presence::off;
    if (m_presence) {
        switch (m_presence->state()) {
        case LocalPresence::State::noResponder:
            presence = Reachability::Presence::noResponder;
            break;
        case LocalPresence::State::on:
            if (m_listen && m_state.kind() == ListenerState::Kind::ready)
                presence = Reachability::Presence::on;
            break;
        case LocalPresence::State::off:
            break;
        }
    }
    if (presence == m_reachability.presence)
        return;
    m_reachability.presence = presence;
    emit reachabilityChanged();
}

}  // namespace vortan
