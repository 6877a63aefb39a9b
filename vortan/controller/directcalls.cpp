// Peers: the calls to a user connected through Tor at the direct endpoints
// the user told us (see DirectPath).

#include "vortan/controller/peers.h"

#include "vortan/connection/connection.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <algorithm>

namespace vortan {

void Peers::callDirect(const QByteArray& key, const QList<Endpoint>& endpoints, std::uint16_t localPort)
{
    const std::shared_ptr<PeerConnection> current = peerFor(key);
    if (!current || !current->connection() || !current->connection()->throughTor())
        return;
    for (const Endpoint& endpoint : endpoints) {
        std::shared_ptr<PeerConnection> peer = PeerConnection::connect(m_engine.keys(), endpoint.host, endpoint.port, key,
                                                                       m_engine.delegate, &m_clock, localPort);
        OutgoingPeer outgoing{std::move(peer), key, endpoint, {}, std::nullopt};
        outgoing.upgrade = true;
        m_connectingPeers.append(std::move(outgoing));
    }
}

void Peers::upgradeFailed(qsizetype index, const ConnectFailure& failure)
{
    const OutgoingPeer& outgoing = m_connectingPeers[index];
    const QByteArray key = outgoing.calledKey;
    const User* user = m_engine.findUser(key);
    logInfo(lcController(), QStringLiteral("No direct connection to %1 at %2: %3")
                                .arg(user ? user->name : QString(), endpointText(outgoing.endpoint),
                                     failure.error ? failure.error->localizedDescription() : QStringLiteral("refused")));
    const bool pending = std::any_of(m_connectingPeers.cbegin(), m_connectingPeers.cend(), [&](const OutgoingPeer& o) {
        return o.upgrade && !o.ended && o.calledKey == key;
    });
    const std::shared_ptr<PeerConnection> current = peerFor(key);
    if (pending || !current || !current->connection() || !current->connection()->throughTor())
        return;
    logInfo(lcController(), QStringLiteral("%1 stays connected through Tor: no direct path worked").arg(user ? user->name : QString()));
    m_engine.modifyUser(key, [](User& u) { u.noDirectPath = true; });
}

bool Peers::upgradeWins(const std::shared_ptr<PeerConnection>& peer, const QByteArray& key)
{
    const auto outgoing = std::find_if(m_connectingPeers.begin(), m_connectingPeers.end(),
                                       [&](const OutgoingPeer& o) { return o.peer == peer && o.upgrade; });
    if (outgoing == m_connectingPeers.end() || outgoing->calledKey == key)
        return true;
    // Someone else answered where the user said to call: one failed call,
    // nothing more.
    const qsizetype index = outgoing - m_connectingPeers.begin();
    const User* answered = m_engine.findUser(key);
    m_connectingPeers[index].ended = true;
    upgradeFailed(index, ConnectFailure{ConnectFailure::Reason::unreachable, outgoing->endpoint.host, outgoing->endpoint.port,
                                        VortanError::other(QStringLiteral("%1 answered").arg(answered ? answered->name : QStringLiteral("someone else"))),
                                        {}});
    if (Connection* connection = peer->connection())
        connection->cancel();
    return false;
}

}  // namespace vortan
