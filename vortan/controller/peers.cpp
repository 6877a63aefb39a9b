#include "vortan/controller/peers.h"

#include "vortan/controller/networkwatcher.h"
#include "vortan/peer/peerconnectiondelegate.h"

#include "vortan/connection/connection.h"
#include "vortan/controller/connectionpolicy.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <QDateTime>

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

Peers::Peers(Clock& clock, Engine engine) : m_clock(clock), m_engine(std::move(engine))
{
    m_policy = std::make_unique<ConnectionPolicy>(
        m_clock, ConnectionPolicy::Engine{
                     .users = [this] { return m_engine.userKeys(); },
                     .hasWork = [this](const QByteArray& key) { return m_engine.hasWork(key); },
                     .idle = [this](const QByteArray& key) {
                         const User* user = m_engine.findUser(key);
                         return user && user->state == User::State::notConnected && !peerFor(key);
                     },
                     .connect = [this](const QByteArray& key) { connectTo(key); },
                 });
}

Peers::~Peers()
{
    shutDown();
}

void Peers::shutDown()
{
    m_policy.reset();
    // Close the connections so that they end (and are released) once the
    // event loop has delivered their cancellation.
    for (const OutgoingPeer& outgoing : std::as_const(m_connectingPeers)) {
        if (Connection* connection = outgoing.peer->connection())
            connection->cancel();
    }
    for (const auto* list : {&m_pendingPeers, &m_peers}) {
        for (const std::shared_ptr<PeerConnection>& peer : *list) {
            if (Connection* connection = peer->connection())
                connection->cancel();
        }
    }
    m_connectingPeers.clear();
    m_calls.clear();
    m_pendingPeers.clear();
    m_peers.clear();
    m_readySince.clear();
}

void Peers::followNetwork()
{
    m_networkWatcher = new NetworkWatcher(this);
    connect(m_networkWatcher, &NetworkWatcher::changed, this, &Peers::networkChanged);
    const QString how = m_networkWatcher->start();
    logInfo(lcController(), how.isEmpty() ? QStringLiteral("Network changes are not followed: no way to learn of them")
                                          : QStringLiteral("Following network changes through %1").arg(how));
}

void Peers::forget(const QByteArray& key)
{
    m_learnedEndpoints.forget(key);
    m_policy->forget(key);
    m_calls.remove(key);
    // Every connection of the user goes (there is at most one ready one, but
    // connect() may have started more than one outgoing).
    for (qsizetype i = 0; i < m_connectingPeers.size();) {
        if (m_connectingPeers[i].calledKey == key) {
            const OutgoingPeer outgoing = m_connectingPeers.takeAt(i);
            if (Connection* connection = outgoing.peer->connection())
                connection->cancel();
        } else {
            ++i;
        }
    }
    for (const std::shared_ptr<PeerConnection>& pending : std::as_const(m_pendingPeers)) {
        if (pending->user() == key && pending->connection())
            pending->connection()->cancel();
    }
    for (qsizetype i = 0; i < m_peers.size();) {
        if (m_peers[i]->user() && *m_peers[i]->user() == key) {
            const std::shared_ptr<PeerConnection> peer = m_peers.takeAt(i);
            if (Connection* connection = peer->connection())
                connection->cancel();
        } else {
            ++i;
        }
    }
}

QList<std::shared_ptr<PeerConnection>> Peers::connecting() const
{
    QList<std::shared_ptr<PeerConnection>> list;
    list.reserve(m_connectingPeers.size());
    for (const OutgoingPeer& outgoing : m_connectingPeers)
        list.append(outgoing.peer);
    return list;
}

std::shared_ptr<PeerConnection> Peers::peerFor(const QByteArray& key) const
{
    for (const std::shared_ptr<PeerConnection>& peer : m_peers) {
        if (sameUser(peer, key))
            return peer;
    }
    return nullptr;
}

void Peers::networkChanged()
{
    logInfo(lcController(), QStringLiteral("The network changed"));
    m_policy->networkChanged();
    emit networkDidChange();
}

void Peers::connectTo(const QByteArray& key)
{
    const User* user = m_engine.findUser(key);
    if (!user)
        return;
    m_policy->release(key);
    if (peerFor(key)) {
        logInfo(lcController(), QStringLiteral("Already connected to %1.").arg(user->name));
        return;
    }
    QList<Endpoint> endpoints = m_learnedEndpoints.candidates(*user);
    const bool torTakesCalls = m_engine.onionRoute && m_engine.onionRoute(key);
    if (endpoints.isEmpty() && !torTakesCalls) {
        logInfo(lcController(), QStringLiteral("Cannot connect to %1: no address").arg(user->name));
        reportFailure(key, ConnectFailure{ConnectFailure::Reason::noAddress, {}, 0, {}, {}});
        return;
    }
    m_engine.modifyUser(key, [](User& u) { u.state = User::State::connecting; });
    auto call = std::make_shared<Call>();
    m_calls.insert(key, call);
    if (endpoints.isEmpty()) {
        call->directDone = true;
        startOnionAttempt(key);
        return;
    }
    startAttempt(key, std::move(endpoints), std::nullopt);
    if (m_engine.onionRoute) {
        // The direct path first: when it has not connected after a few
        // seconds, the onion path beside it; the first to connect wins.
        call->onionTimer = m_clock.createTimer([this, key] {
            if (!peerFor(key) && stillConnecting(key))
                startOnionAttempt(key);
        });
        call->onionTimer->startOnce(kOnionDelay);
    }
}

bool Peers::startOnionAttempt(const QByteArray& key)
{
    const auto call = m_calls.value(key);
    if (!call || call->torStarted || !m_engine.onionRoute)
        return false;
    const std::optional<OnionRoute> route = m_engine.onionRoute(key);
    if (!route)
        return false;
    call->torStarted = true;
    const User* user = m_engine.findUser(key);
    logInfo(lcController(), QStringLiteral("Trying %1 through tor at %2").arg(user ? user->name : QString(), route->onion));
    std::shared_ptr<PeerConnection> peer = PeerConnection::connectThroughTor(
        m_engine.keys(), route->socksPath, route->onion, route->port, key, m_engine.delegate, &m_clock);
    OutgoingPeer outgoing{std::move(peer), key, Endpoint{route->onion, route->port}, {}, std::nullopt};
    outgoing.throughTor = true;
    m_connectingPeers.append(std::move(outgoing));
    return true;
}

void Peers::startAttempt(const QByteArray& key, QList<Endpoint> endpoints,
                                     std::optional<ConnectFailure> earlier)
{
    const Endpoint endpoint = endpoints.takeFirst();
    std::shared_ptr<PeerConnection> peer =
        PeerConnection::connect(m_engine.keys(), endpoint.host, endpoint.port, key, m_engine.delegate, &m_clock);
    m_connectingPeers.append(OutgoingPeer{std::move(peer), key, endpoint, std::move(endpoints), std::move(earlier)});
}

void Peers::connectionFailed(qsizetype index, ConnectFailure failure)
{
    OutgoingPeer& outgoing = m_connectingPeers[index];
    outgoing.ended = true;
    const QByteArray key = outgoing.calledKey;
    if (outgoing.upgrade) {
        upgradeFailed(index, failure);
        return;
    }
    if (outgoing.throughTor) {
        if (!peerFor(key))
            pathFailed(key, true, std::move(failure));
        return;
    }
    // A sighting that did not lead to the user is not tried again (the
    // attempt goes on with the others).
    m_learnedEndpoints.forget(key, outgoing.endpoint);
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
                                    .arg(m_engine.findUser(key) ? m_engine.findUser(key)->name : QString(), endpointText(rest.first())));
        startAttempt(key, std::move(rest), std::move(telling));
        return;
    }
    pathFailed(key, false, std::move(*telling));
}

void Peers::pathFailed(const QByteArray& key, bool throughTor, ConnectFailure failure)
{
    const std::shared_ptr<Call> call = m_calls.value(key);
    if (!call) {
        reportFailure(key, std::move(failure));
        return;
    }
    if (throughTor) {
        call->torFailure = std::move(failure);
    } else {
        call->directDone = true;
        call->directFailure = std::move(failure);
        call->onionTimer.reset();
        // No need to wait out the delay: the direct path is done.
        if (startOnionAttempt(key))
            return;
    }
    if (!call->directDone || (call->torStarted && !call->torFailure))
        return;  // the other path is still trying
    m_calls.remove(key);
    // The peer refusing our key says the most; else the direct path's
    // reason, noting that the onion address did no better.
    ConnectFailure told = call->directFailure.value_or(call->torFailure.value_or(ConnectFailure{}));
    if (call->torFailure && call->torFailure->reason == ConnectFailure::Reason::notAccepted)
        told = *call->torFailure;
    told.triedTor = call->torStarted;
    reportFailure(key, std::move(told));
}

void Peers::reportFailure(const QByteArray& key, ConnectFailure failure)
{
    if (const auto wait = m_policy->failed(key, failure.reason))
        failure.retryAt = QDateTime::currentDateTimeUtc().addMSecs(wait->count());
    m_engine.modifyUser(key, [&](User& u) {
        if (failure.error)
            u.error = *failure.error;
        // An announcement that nothing answers at is an old one.
        if (failure.reason == ConnectFailure::Reason::unreachable)
            u.onLocalNetwork = false;
        u.failure = std::move(failure);
    });
}

bool Peers::stillConnecting(const QByteArray& key) const
{
    return std::any_of(m_connectingPeers.cbegin(), m_connectingPeers.cend(),
                       [&](const OutgoingPeer& o) { return o.calledKey == key && !o.ended; });
}

bool Peers::linkAlive(const QByteArray& key)
{
    const std::shared_ptr<PeerConnection> peer = peerFor(key);
    Connection* connection = peer ? peer->connection() : nullptr;
    const std::optional<std::chrono::milliseconds> silent = connection ? connection->unacknowledgedFor() : std::nullopt;
    if (!silent || *silent < kDeadLink)
        return true;
    const User* user = m_engine.findUser(key);
    logInfo(lcController(), QStringLiteral("Nothing sent to %1 was acknowledged for %2 s: the connection is lost")
                                .arg(user ? user->name : QString())
                                .arg(silent->count() / 1000));
    m_engine.modifyUser(key, [](User& u) { u.error = VortanError::network(NetworkError::posix(ETIMEDOUT)); });
    connection->cancel();
    return false;
}

void Peers::disconnectFrom(const QByteArray& key)
{
    m_policy->hold(key);
    m_calls.remove(key);
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

void Peers::becameReady(const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user())
        return;
    const bool outgoing = std::any_of(m_connectingPeers.cbegin(), m_connectingPeers.cend(),
                                      [&](const OutgoingPeer& o) { return o.peer == peer; });
    if (!outgoing && m_policy->held(*peer->user())) {
        // Disconnected by hand: they come back when we call them.
        const User* user = m_engine.findUser(*peer->user());
        logInfo(lcController(), QStringLiteral("Refused a connection of %1: disconnected until called")
                                    .arg(user ? user->name : QStringLiteral("an unknown user")));
        cancel(peer);
        return;
    }
    // The handshake record may be a replay: the connection waits for the
    // peer's first frame before it replaces or changes anything. Our list
    // request lets the peer prove us in turn (it waits the same way).
    m_pendingPeers.append(peer);
    if (m_engine.findUser(*peer->user()))
        m_engine.handshakeDone(peer);
}

// Whether messages of this connection count: a connection that just proved
// its key takes its place among the ready ones here.
bool Peers::admit(const std::shared_ptr<PeerConnection>& peer)
{
    if (m_pendingPeers.removeOne(peer))
        return promote(peer);
    return m_peers.contains(peer);
}

bool Peers::dialledByUs(const std::shared_ptr<PeerConnection>& peer) const
{
    return !peer->connection() || !peer->connection()->accepted();
}

bool Peers::weWinCrossings(const QByteArray& key) const
{
    return m_engine.keys().publicKey() > key;
}

bool Peers::promote(const std::shared_ptr<PeerConnection>& peer)
{
    const QByteArray key = *peer->user();
    const bool ours = dialledByUs(peer);
    if (!upgradeWins(peer, key))
        return false;
    const std::shared_ptr<PeerConnection> current = peerFor(key);
    // A direct connection replaces one through Tor, whoever made either.
    const bool upgrade = current && current->connection() && current->connection()->throughTor() && peer->connection()
                         && !peer->connection()->throughTor();

    // The newest connection of a user wins, unless the two crossed: both
    // ends called at once, and each end may see them ready in either order.
    // Then both keep the one the greater key made, or both would close the
    // one the other kept.
    for (qsizetype i = 0; i < m_peers.size(); ++i) {
        if (m_peers[i] == peer || !sameUser(m_peers[i], key))
            continue;
        const bool crossed = !upgrade && dialledByUs(m_peers[i]) != ours
                             && m_clock.now() - m_readySince.value(m_peers[i].get()) < kCrossingWindow;
        if (crossed && ours != weWinCrossings(key)) {
            const User* user = m_engine.findUser(key);
            logInfo(lcController(), QStringLiteral("%1 and we called each other at once: keeping the connection %2")
                                        .arg(user ? user->name : QStringLiteral("An unknown user"),
                                             ours ? QStringLiteral("they made") : QStringLiteral("we made")));
            for (OutgoingPeer& outgoing : m_connectingPeers) {
                if (outgoing.peer == peer)
                    outgoing.ended = true;  // no failure: the user is connected
            }
            cancel(peer);
            return false;
        }
        const std::shared_ptr<PeerConnection> older = m_peers.takeAt(i);
        m_readySince.remove(older.get());
        cancel(older);
        break;
    }

    // Blocks asked for on an older connection may be asked for again.
    m_engine.connectionReplaced(key);

    // The first path of a call to connect wins; the other is dropped. A
    // call of ours that crosses theirs stays while it may still win: once
    // its handshake is done, the peer may have taken it.
    m_calls.remove(key);
    for (OutgoingPeer& other : m_connectingPeers) {
        if (other.peer == peer || other.calledKey != key || other.ended)
            continue;
        const bool mayWin = !ours && weWinCrossings(key) && other.peer->connection()
                            && other.peer->connection()->isReady();
        if (mayWin)
            continue;
        other.ended = true;
        cancel(other.peer);
    }
    const bool throughTor = peer->connection() && peer->connection()->throughTor();
    if (throughTor && m_engine.torConnectionWorked)
        m_engine.torConnectionWorked();

    std::optional<QByteArray> calledKey;
    for (qsizetype i = 0; i < m_connectingPeers.size(); ++i) {
        if (m_connectingPeers[i].peer != peer)
            continue;
        calledKey = m_connectingPeers[i].calledKey;
        if (*calledKey != key && !m_connectingPeers[i].ended) {
            // Someone else answered at the called user's address: that user
            // is not connected by this connection; the call goes on with
            // the next address, if any.
            const User* answered = m_engine.findUser(key);
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
            m_engine.modifyUser(called, [&](User& u) {
                if (!connected)
                    u.state = connecting ? User::State::connecting : User::State::notConnected;
            });
        }
        m_connectingPeers.removeAt(i);
        break;
    }
    m_peers.append(peer);
    m_readySince.insert(peer.get(), m_clock.now());

    if (!m_engine.findUser(key))
        return true;  // no longer a known user: kept, but not asked for anything
    if (!calledKey && !throughTor) {
        // Where they are now, for our next call: their address, the card's port.
        const User* user = m_engine.findUser(key);
        const std::optional<StorageKey>& endpoints = peer->connection() ? peer->connection()->endpoints() : std::nullopt;
        if (user && user->port && *user->port != 0 && endpoints)
            learnEndpoint(key, endpoints->remoteEndpoint.host, *user->port, EndpointSource::incoming);
    }
    // The list request went out when the handshake was done.
    if (upgrade) {
        const User* user = m_engine.findUser(key);
        logInfo(lcController(), QStringLiteral("Connected to %1 directly at %2: the connection through Tor is closed")
                                    .arg(user ? user->name : QString(),
                                         peer->connection() ? peer->connection()->remoteDescription() : QString()));
    }
    m_engine.modifyUser(key, [&](User& u) {
        u.state = User::State::connected;
        u.throughTor = throughTor;
        u.noDirectPath = false;
        u.error.reset();
        u.failure.reset();
    });
    m_policy->connected(key);
    emit peerReady(key);
    return true;
}

void Peers::failed(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user()) {
        const Connection* connection = peer->connection();
        if (connection && connection->accepted())
            refusedStranger(connection->refusedKey());
        return;
    }
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
    m_engine.modifyUser(*peer->user(), [&](User& u) { u.error = VortanError::network(error); });
}

void Peers::cancelled(const std::shared_ptr<PeerConnection>& peer)
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
    const auto readySince = m_readySince.constFind(peer.get());
    const bool longLived = readySince != m_readySince.cend() && m_clock.now() - *readySince >= kLongLived;
    m_readySince.remove(peer.get());
    m_engine.connectionEnded(peer);
    if (!peer->user())
        return;
    const QByteArray key = *peer->user();
    if (peerFor(key))
        return;  // still connected through a newer connection
    m_engine.userLeft(key);
    const User* user = m_engine.findUser(key);
    if (!user)
        return;
    const bool wasConnected = user->state == User::State::connected;
    // A second outgoing connection to the user may still be on its way.
    const bool connecting = stillConnecting(key);
    m_engine.modifyUser(key, [&](User& u) {
        u.state = connecting ? User::State::connecting : User::State::notConnected;
        u.throughTor = false;
        u.noDirectPath = false;
    });
    if (wasConnected)
        noteDisconnected(key, longLived);
}

void Peers::refusedStranger(const QByteArray& key)
{
    if (key.isEmpty() || m_engine.findUser(key) || m_strangersTold.contains(key)
        || m_strangersTold.size() >= kStrangersTold)
        return;
    m_strangersTold.insert(key);
    logInfo(lcController(), QStringLiteral("Refused a call of someone who is not among the users (key %1)")
                                .arg(QString::fromLatin1(key.toHex())));
    emit strangerRefused(key);
}

void Peers::noteDisconnected(const QByteArray& key, bool longLived)
{
    m_policy->disconnected(key, longLived);
    emit peerDisconnected(key);
}

}  // namespace vortan
