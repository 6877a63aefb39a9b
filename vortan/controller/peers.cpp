#include "vortan/controller/controller_p.h"

#include "vortan/connection/connection.h"
#include "vortan/controller/connectionpolicy.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <algorithm>

namespace vortan {

namespace {

void cancel(const std::shared_ptr<PeerConnection>& peer)
{
    if (Connection* connection = peer->connection())
        connection->cancel();
}

bool sameUser(const std::shared_ptr<PeerConnection>& peer, const QByteArray& key)
{
    return peer->user() && *peer->user() == key;
}

}  // namespace

QList<std::shared_ptr<PeerConnection>> ControllerPrivate::connectingPeers() const
{
    QList<std::shared_ptr<PeerConnection>> list;
    list.reserve(m_connectingPeers.size());
    for (const OutgoingPeer& outgoing : m_connectingPeers)
        list.append(outgoing.peer);
    return list;
}

std::shared_ptr<PeerConnection> ControllerPrivate::peerFor(const QByteArray& key) const
{
    for (const std::shared_ptr<PeerConnection>& peer : m_peers) {
        if (sameUser(peer, key))
            return peer;
    }
    return nullptr;
}

void ControllerPrivate::setConnectAutomatically(bool on)
{
    m_policy->setEnabled(on);
}

bool ControllerPrivate::connectsAutomatically() const
{
    return m_policy->enabled();
}

void ControllerPrivate::setKeptConnected(const QList<QByteArray>& keys)
{
    m_policy->setKept(keys);
}

void ControllerPrivate::networkChanged()
{
    logInfo(lcController(), QStringLiteral("The network changed"));
    m_policy->networkChanged();
}

bool ControllerPrivate::hasWork(const QByteArray& key) const
{
    return hasWorkFor(m_files.list(), key, [this](const QUuid& id) { return m_offersListed.contains(id); });
}

void ControllerPrivate::connectTo(const QByteArray& key)
{
    const User* user = findUser(key);
    if (!user)
        return;
    m_policy->release(key);
    if (peerFor(key)) {
        logInfo(lcController(), QStringLiteral("Already connected to %1.").arg(user->name));
        return;
    }
    QList<Endpoint> endpoints = m_learnedEndpoints.candidates(*user);
    if (endpoints.isEmpty()) {
        logInfo(lcController(), QStringLiteral("Cannot connect to %1: no address").arg(user->name));
        reportFailure(key, ConnectFailure{ConnectFailure::Reason::noAddress, {}, 0, {}, {}});
        return;
    }
    modifyUser(key, [](User& u) { u.state = User::State::connecting; });
    startAttempt(key, std::move(endpoints), std::nullopt);
}

void ControllerPrivate::startAttempt(const QByteArray& key, QList<Endpoint> endpoints,
                                     std::optional<ConnectFailure> earlier)
{
    const Endpoint endpoint = endpoints.takeFirst();
    std::shared_ptr<PeerConnection> peer =
        PeerConnection::connect(keys(), endpoint.host, endpoint.port, key, this, &m_clock);
    m_connectingPeers.append(OutgoingPeer{std::move(peer), key, endpoint, std::move(endpoints), std::move(earlier)});
}

void ControllerPrivate::connectionFailed(qsizetype index, ConnectFailure failure)
{
    OutgoingPeer& outgoing = m_connectingPeers[index];
    outgoing.ended = true;
    const QByteArray key = outgoing.calledKey;
    // A sighting that did not lead to the user is not tried again.
    if (m_learnedEndpoints.find(key) == outgoing.endpoint)
        m_learnedEndpoints.forget(key);
    // The peer refusing us says more than an old address that did not answer.
    std::optional<ConnectFailure> telling = outgoing.failure;
    if (!telling || telling->reason != ConnectFailure::Reason::notAccepted
        || failure.reason == ConnectFailure::Reason::notAccepted)
        telling = std::move(failure);
    if (peerFor(key))
        return;  // they called us meanwhile
    QList<Endpoint> rest = outgoing.rest;
    if (!rest.isEmpty()) {
        logInfo(lcController(), QStringLiteral("Trying %1 at %2")
                                    .arg(findUser(key) ? findUser(key)->name : QString(), endpointText(rest.first())));
        startAttempt(key, std::move(rest), std::move(telling));
        return;
    }
    reportFailure(key, std::move(*telling));
}

void ControllerPrivate::reportFailure(const QByteArray& key, ConnectFailure failure)
{
    if (const auto wait = m_policy->failed(key, failure.reason))
        failure.retryAt = QDateTime::currentDateTimeUtc().addMSecs(wait->count());
    modifyUser(key, [&](User& u) {
        if (failure.error)
            u.error = *failure.error;
        u.failure = std::move(failure);
    });
}

bool ControllerPrivate::stillConnecting(const QByteArray& key) const
{
    return std::any_of(m_connectingPeers.cbegin(), m_connectingPeers.cend(),
                       [&](const OutgoingPeer& o) { return o.calledKey == key && !o.ended; });
}

void ControllerPrivate::learnEndpoint(const QByteArray& key, const QString& host, std::uint16_t port,
                                      EndpointSource source)
{
    const User* user = findUser(key);
    if (!user || host.isEmpty() || port == 0)
        return;
    const Endpoint endpoint{host, port};
    if (m_learnedEndpoints.find(key) != endpoint) {
        logInfo(lcController(), (source == EndpointSource::presence ? QStringLiteral("%1 is announced at %2")
                                                                    : QStringLiteral("%1 connected from %2"))
                                    .arg(user->name, endpointText(endpoint)));
    }
    m_learnedEndpoints.learn(key, endpoint);
    if (source == EndpointSource::presence)
        m_policy->appeared(key);
}

void ControllerPrivate::disconnectFrom(const QByteArray& key)
{
    m_policy->hold(key);
    // The lists and the user's state follow when the cancellations are reported.
    for (OutgoingPeer& outgoing : m_connectingPeers) {
        if (outgoing.calledKey == key && !outgoing.ended) {
            outgoing.ended = true;
            cancel(outgoing.peer);
        }
    }
    for (const std::shared_ptr<PeerConnection>& pending : std::as_const(m_pendingPeers)) {
        if (sameUser(pending, key))
            cancel(pending);
    }
    if (std::shared_ptr<PeerConnection> peer = peerFor(key))
        cancel(peer);
}

void ControllerPrivate::peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user())
        return;
    const bool outgoing = std::any_of(m_connectingPeers.cbegin(), m_connectingPeers.cend(),
                                      [&](const OutgoingPeer& o) { return o.peer == peer; });
    if (!outgoing && m_policy->held(*peer->user())) {
        // Disconnected by hand: they come back when we call them.
        const User* user = findUser(*peer->user());
        logInfo(lcController(), QStringLiteral("Refused a connection of %1: disconnected until called")
                                    .arg(user ? user->name : QStringLiteral("an unknown user")));
        cancel(peer);
        return;
    }
    // The handshake record may be a replay: the connection waits for the
    // peer's first frame before it replaces or changes anything. Our list
    // request lets the peer prove us in turn (it waits the same way).
    m_pendingPeers.append(peer);
    if (indexOfUser(*peer->user()) >= 0) {
        peer->sendListRequest();
        m_pendingAnswers.append(PendingAnswer{peer, {}});
    }
}

void ControllerPrivate::peerConnectionDidAuthenticate(const std::shared_ptr<PeerConnection>& peer)
{
    if (peer->user())
        admit(peer);
}

// Whether messages of this connection count: a connection that just proved
// its key takes its place among the ready ones here.
bool ControllerPrivate::admit(const std::shared_ptr<PeerConnection>& peer)
{
    if (m_pendingPeers.removeOne(peer)) {
        promote(peer);
        return true;
    }
    return m_peers.contains(peer);
}

void ControllerPrivate::promote(const std::shared_ptr<PeerConnection>& peer)
{
    const QByteArray key = *peer->user();

    // The newest connection of a user wins.
    for (qsizetype i = 0; i < m_peers.size(); ++i) {
        if (m_peers[i] != peer && sameUser(m_peers[i], key)) {
            const std::shared_ptr<PeerConnection> older = m_peers.takeAt(i);
            cancel(older);
            break;
        }
    }

    // Blocks asked for on an older connection may be asked for again.
    bool cleared = false;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files[i].user == key && !m_files[i].wantBlocks.empty()) {
            m_files.edit(i).wantBlocks = BlockSet();
            cleared = true;
        }
    }
    if (cleared)
        update();
    m_windows.dropAllOf(key);

    std::optional<QByteArray> calledKey;
    for (qsizetype i = 0; i < m_connectingPeers.size(); ++i) {
        if (m_connectingPeers[i].peer != peer)
            continue;
        calledKey = m_connectingPeers[i].calledKey;
        if (*calledKey != key && !m_connectingPeers[i].ended) {
            // Someone else answered at the called user's address: that user
            // is not connected by this connection; the call goes on with
            // the next address, if any.
            const User* answered = findUser(key);
            const QString who = answered ? answered->name : QStringLiteral("an unknown user");
            const QString where = peer->connection() ? peer->connection()->remoteDescription() : QString();
            const OutgoingPeer& outgoing = m_connectingPeers[i];
            logInfo(lcController(), QStringLiteral("%1 answered at %2").arg(who, where));
            connectionFailed(i, ConnectFailure{ConnectFailure::Reason::unreachable, outgoing.endpoint.host,
                                               outgoing.endpoint.port,
                                               VortanError::other(QStringLiteral("%1 answered at %2").arg(who, where)),
                                               {}});
            const QByteArray called = *calledKey;
            const bool connecting = stillConnecting(called);
            const bool connected = peerFor(called) != nullptr;
            modifyUser(called, [&](User& u) {
                if (!connected)
                    u.state = connecting ? User::State::connecting : User::State::notConnected;
            });
        }
        m_connectingPeers.removeAt(i);
        break;
    }
    m_peers.append(peer);

    if (indexOfUser(key) < 0)
        return;  // no longer a known user: kept, but not asked for anything
    if (!calledKey) {
        // Where they are now, for our next call: their address, the card's port.
        const User* user = findUser(key);
        const std::optional<StorageKey>& endpoints = peer->connection() ? peer->connection()->endpoints() : std::nullopt;
        if (user && user->port && *user->port != 0 && endpoints)
            learnEndpoint(key, endpoints->remoteEndpoint.host, *user->port, EndpointSource::incoming);
    }
    // The list request went out when the handshake was done.
    modifyUser(key, [](User& u) {
        u.state = User::State::connected;
        u.error.reset();
        u.failure.reset();
    });
    m_policy->connected(key);
    emit peerReady(key);
}

void ControllerPrivate::peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user())
        return;
    // An accepted connection that never proved its key may be anybody's
    // replay: it says nothing about the user.
    const auto outgoing = std::find_if(m_connectingPeers.cbegin(), m_connectingPeers.cend(),
                                       [&](const OutgoingPeer& o) { return o.peer == peer; });
    if (outgoing != m_connectingPeers.cend()) {
        if (outgoing->ended)
            return;
        const bool reached = peer->connection() && peer->connection()->endpoints();
        connectionFailed(outgoing - m_connectingPeers.cbegin(),
                         ConnectFailure{failureReason(error, reached), outgoing->endpoint.host, outgoing->endpoint.port,
                                        VortanError::network(error), {}});
        return;
    }
    if (m_pendingPeers.contains(peer))
        return;
    modifyUser(*peer->user(), [&](User& u) { u.error = VortanError::network(error); });
}

void ControllerPrivate::peerConnectionDidFailToDecode(MessageType, const DecodeError& error,
                                               const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !admit(peer))
        return;
    const QString message = QString::fromUtf8(error.what());
    modifyUser(*peer->user(), [&](User& u) { u.error = VortanError::other(message); });
}

void ControllerPrivate::peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer)
{
    for (qsizetype i = 0; i < m_connectingPeers.size(); ++i) {
        const OutgoingPeer& outgoing = m_connectingPeers[i];
        if (outgoing.peer == peer && !outgoing.ended) {
            // Closed in order after the handshake, before a frame of theirs:
            // the peer read our key and did not take it.
            connectionFailed(i, ConnectFailure{ConnectFailure::Reason::notAccepted, outgoing.endpoint.host,
                                               outgoing.endpoint.port, {}, {}});
            break;
        }
    }
    m_connectingPeers.removeIf([&](const OutgoingPeer& o) { return o.peer == peer; });
    m_pendingPeers.removeAll(peer);
    m_peers.removeAll(peer);
    m_pendingAnswers.removeIf([&](const PendingAnswer& a) { return a.peer.expired() || a.peer.lock() == peer; });
    if (!peer->user())
        return;
    const QByteArray key = *peer->user();
    if (peerFor(key))
        return;  // still connected through a newer connection
    m_windows.dropAllOf(key);  // what they measured went with the connection
    const qsizetype index = indexOfUser(key);
    if (index < 0)
        return;
    const bool wasConnected = m_users[index].state == User::State::connected;
    // A second outgoing connection to the user may still be on its way.
    const bool connecting = stillConnecting(key);
    modifyUser(key, [&](User& u) { u.state = connecting ? User::State::connecting : User::State::notConnected; });
    if (wasConnected)
        noteDisconnected(key);
}

void ControllerPrivate::noteDisconnected(const QByteArray& key)
{
    m_policy->disconnected(key);
    emit peerDisconnected(key);
}

}  // namespace vortan
