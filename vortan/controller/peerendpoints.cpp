// Peers: where each user was seen this session (announced on the local
// network, or the address an authenticated call of theirs came from).

#include "vortan/controller/peers.h"

#include "vortan/connection/connection.h"
#include "vortan/controller/connectionpolicy.h"
#include "vortan/log.h"

namespace vortan {

void Peers::learnEndpoint(const QByteArray& key, const QString& host, std::uint16_t port,
                                      EndpointSource source)
{
    if (source == EndpointSource::presence) {
        learnPresence(key, {Endpoint{host, port}});
        return;
    }
    const User* user = m_engine.findUser(key);
    if (!user || host.isEmpty() || port == 0)
        return;
    const Endpoint endpoint{host, port};
    if (m_learnedEndpoints.find(key) != endpoint) {
        logInfo(lcController(), (source == EndpointSource::presence ? QStringLiteral("%1 is announced at %2")
                                                                    : QStringLiteral("%1 connected from %2"))
                                    .arg(user->name, endpointText(endpoint)));
    }
    m_learnedEndpoints.learn(key, endpoint);
}

void Peers::learnPresence(const QByteArray& key, const QList<Endpoint>& endpoints)
{
    const User* user = m_engine.findUser(key);
    if (!user)
        return;
    // Learned last to first: the first ends up tried first.
    for (auto it = endpoints.crbegin(); it != endpoints.crend(); ++it) {
        if (it->host.isEmpty() || it->port == 0)
            continue;
        if (!m_learnedEndpoints.all(key).contains(*it))
            logInfo(lcController(), QStringLiteral("%1 is announced at %2").arg(user->name, endpointText(*it)));
        m_learnedEndpoints.learn(key, *it);
    }
    // Being there now says more than how an earlier call or connection ended.
    m_engine.modifyUser(key, [](User& u) {
        u.onLocalNetwork = true;
        if (u.state == User::State::notConnected) {
            u.failure.reset();
            u.error.reset();
        }
    });
    m_policy->appeared(key);
}

void Peers::presenceGone(const QByteArray& key)
{
    if (const User* user = m_engine.findUser(key); user && user->onLocalNetwork) {
        logInfo(lcController(), QStringLiteral("%1 is no longer announced on the local network").arg(user->name));
        m_engine.modifyUser(key, [](User& u) { u.onLocalNetwork = false; });
    }
}

}  // namespace vortan
