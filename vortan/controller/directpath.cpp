#include "vortan/controller/directpath.h"

#include "vortan/connection/connection.h"
#include "vortan/log.h"
#include "vortan/peer/hints.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/user.h"
#include "vortan/util/machineaddresses.h"

#include <QHostAddress>

namespace vortan {

namespace {

bool throughTor(const std::shared_ptr<PeerConnection>& peer)
{
    return peer && peer->connection() && peer->connection()->throughTor();
}

}  // namespace

QList<Endpoint> DirectPath::ownHints() const
{
    const std::optional<std::uint16_t> port = m_engine.listeningPort();
    if (!port || *port == 0)
        return {};
    QList<Endpoint> hints;
    for (const std::optional<QString>& address : {m_engine.mappedAddress(), m_engine.cardAddress()}) {
        if (address && !QHostAddress(*address).isNull() && !hints.contains(Endpoint{*address, *port}))
            hints.append(Endpoint{*address, *port});
    }
    // Global IPv6 addresses first: they need no NAT to pass.
    QList<QString> addresses = HintFilter::ownAddresses(m_engine.networks());
    std::stable_partition(addresses.begin(), addresses.end(),
                          [](const QString& address) { return isGlobalIpv6(QHostAddress(address)); });
    for (const QString& address : std::as_const(addresses)) {
        const Endpoint endpoint{address, *port};
        if (!hints.contains(endpoint))
            hints.append(endpoint);
    }
    return hints.first(std::min(hints.size(), Hints::kMax));
}

void DirectPath::connected(const QByteArray& key)
{
    const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(key);
    if (!throughTor(peer) || !m_engine.enabled())
        return;
    const QList<Endpoint> hints = ownHints();
    if (hints.isEmpty())
        return;
    peer->sendHints(hints);
}

void DirectPath::hintsReceived(const QList<Endpoint>& hints, const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !throughTor(peer) || !m_engine.enabled())
        return;
    const QByteArray key = *peer->user();
    const User* user = m_engine.findUser(key);
    const std::optional<std::uint16_t> port = m_engine.listeningPort();
    if (!user || m_engine.peerFor(key) != peer)
        return;
    m_told.insert(key, hints);
    const HintFilter filter(m_engine.networks());
    QList<Endpoint>& tried = m_tried[key];
    QList<Endpoint> calls;
    for (const Endpoint& hint : hints) {
        if (tried.contains(hint))
            continue;
        if (const std::optional<QString> why = filter.refusal(hint)) {
            logInfo(lcController(), QStringLiteral("Not calling %1 at %2: %3").arg(user->name, endpointText(hint), *why));
            continue;
        }
        if (tried.size() >= kMaxTriedPerUser)
            break;
        tried.append(hint);
        calls.append(hint);
    }
    if (calls.isEmpty())
        return;
    logInfo(lcController(), QStringLiteral("Trying %1 directly at %2 endpoints told through Tor").arg(user->name).arg(calls.size()));
    m_engine.call(key, calls, port.value_or(0));
}

void DirectPath::networkChanged(const QList<QByteArray>& keys)
{
    m_tried.clear();
    for (const QByteArray& key : keys) {
        connected(key);
        const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(key);
        if (const auto told = m_told.constFind(key); told != m_told.cend() && peer)
            hintsReceived(QList<Endpoint>(*told), peer);
    }
}

}  // namespace vortan
