#include "vortan/controller/endpoints.h"

#include <cerrno>

namespace vortan {

QList<Endpoint> LearnedEndpoints::candidates(const User& user) const
{
    QList<Endpoint> list;
    const auto learned = m_endpoints.constFind(user.key);
    if (learned != m_endpoints.cend())
        list.append(*learned);
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
