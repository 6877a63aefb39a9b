#include "vortan/controller/endpoints.h"

#include <cerrno>

namespace vortan {

void LearnedEndpoints::learn(const QByteArray& key, const Endpoint& endpoint)
{
    QList<Endpoint>& list = m_endpoints[key];
    list.removeAll(endpoint);
    list.prepend(endpoint);
    if (list.size() > kMaxPerUser)
        list.resize(kMaxPerUser);
}

void LearnedEndpoints::forget(const QByteArray& key, const Endpoint& endpoint)
{
    const auto it = m_endpoints.find(key);
    if (it == m_endpoints.end())
        return;
    it->removeAll(endpoint);
    if (it->isEmpty())
        m_endpoints.erase(it);
}

QList<Endpoint> LearnedEndpoints::candidates(const User& user) const
{
    QList<Endpoint> list = m_endpoints.value(user.key);
    if (user.address && !user.address->trimmed().isEmpty() && user.port && *user.port != 0) {
        const Endpoint card{user.address->trimmed(), *user.port};
        if (!list.contains(card))
            list.append(card);
    }
    return list;
}

ConnectFailure::Reason failureReason(const NetworkError& error, bool reachedPeer)
{
    // The peer's program drops a handshake from a key it does not know:
    // depending on timing we see the reset, a broken pipe or an early end.
    if (reachedPeer && error.kind == NetworkError::Kind::posix
        && (error.code == ECONNRESET || error.code == EPIPE || error.code == ECANCELED))
        return ConnectFailure::Reason::notAccepted;
    return ConnectFailure::Reason::unreachable;
}

}  // namespace vortan
