#include "vortan/controller/controller_p.h"

#include "vortan/connection/connection.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/presence/localpresence.h"

#include <QDBusConnection>
#include <QHostAddress>

namespace vortan {

void ControllerPrivate::updatePresence()
{
    if (!m_options.usePresence || !m_started)
        return;
    if (!m_presence) {
        m_presence = std::make_unique<LocalPresence>(QDBusConnection::systemBus(), m_clock);
        connect(m_presence.get(), &LocalPresence::stateChanged, this, [this] { presenceStateChanged(); });
        connect(m_presence.get(), &LocalPresence::userSeen, this,
                [this](const QByteArray& key, const QString& host, std::uint16_t port) {
                    if (const User* user = findUser(key)) {
                        logDebug(lcPresence(), QStringLiteral("%1 is on the local network at %2 port %3.")
                                                  .arg(user->name, host)
                                                  .arg(port));
                        learnEndpoint(key, host, port, EndpointSource::presence);
                    }
                });
        // A renumbered host: a connection to its old address only waits for
        // TCP to give up, which takes many minutes. Closed, it is made
        // again to the new address.
        connect(m_presence.get(), &LocalPresence::userMoved, this, [this](const QByteArray& key, const QString& from) {
            const std::shared_ptr<PeerConnection> peer = peerFor(key);
            Connection* connection = peer ? peer->connection() : nullptr;
            if (!connection || !connection->endpoints()
                || QHostAddress(connection->endpoints()->remoteEndpoint.host) != QHostAddress(from))
                return;
            const User* user = findUser(key);
            logInfo(lcPresence(), QStringLiteral("%1 is no longer at %2: closing the connection there.")
                                      .arg(user ? user->name : QString(), from));
            connection->cancel();
        });
        m_presence->start();
    }
    QList<QByteArray> keys;
    keys.reserve(m_users.size());
    for (const User& user : std::as_const(m_users))
        keys.append(user.key);
    m_presence->setKnownKeys(keys);
    const bool announce = m_listen && m_me && m_me->port && *m_me->port != 0
                          && m_listenerState.kind() == ListenerState::Kind::ready;
    m_presence->setAnnouncement(announce ? m_me->key : QByteArray(), announce ? *m_me->port : 0);
    presenceStateChanged();
}

void ControllerPrivate::presenceStateChanged()
{
    Reachability::Presence presence = Reachability::Presence::off;
    if (m_presence) {
        switch (m_presence->state()) {
        case LocalPresence::State::noResponder:
            presence = Reachability::Presence::noResponder;
            break;
        case LocalPresence::State::on:
            if (m_listen && m_listenerState.kind() == ListenerState::Kind::ready)
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
