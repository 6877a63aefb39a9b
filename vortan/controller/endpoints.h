#pragma once

#include "vortan/keys/keyhelper.h"
#include "vortan/connectfailure.h"
#include "vortan/errors.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <optional>

namespace vortan {

// Where each user was seen this session (announced on the local network, or
// the source address of an authenticated connection of theirs with the
// card's port), newest first. In memory only: never written into a card or
// a stored file.
class LearnedEndpoints {
public:
    // The most endpoints kept per user; the oldest goes.
    static constexpr qsizetype kMaxPerUser = 8;

    // Puts the endpoint first among the user's.
    void learn(const QByteArray& key, const Endpoint& endpoint);
    void forget(const QByteArray& key) { m_endpoints.remove(key); }
    void forget(const QByteArray& key, const Endpoint& endpoint);
    // The newest.
    std::optional<Endpoint> find(const QByteArray& key) const
    {
        const auto it = m_endpoints.constFind(key);
        return it == m_endpoints.cend() || it->isEmpty() ? std::nullopt : std::optional<Endpoint>(it->constFirst());
    }
    QList<Endpoint> all(const QByteArray& key) const { return m_endpoints.value(key); }

    // The endpoints to try, in order: the learned ones, newest first, then
    // the card's address and port (when it has both and differs).
    QList<Endpoint> candidates(const User& user) const;

private:
    QHash<QByteArray, QList<Endpoint>> m_endpoints;
};

// Why an outgoing attempt failed, in terms the user can act on. `reachedPeer`
// tells whether the TCP connection was made: a reset or close after that is
// the peer refusing our key; anything before it, or a stranger's or a silent
// answer, means the user is not at that address.
ConnectFailure::Reason failureReason(const NetworkError& error, bool reachedPeer);

}  // namespace vortan
