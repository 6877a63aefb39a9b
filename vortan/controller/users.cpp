#include "vortan/controller/controller_p.h"

#include "vortan/controller/connectionpolicy.h"

#include "vortan/connection/connection.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/listener/listener.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

namespace vortan {

namespace {

constexpr qsizetype kKeySize = 32;

}  // namespace

void ControllerPrivate::addUsers(const QList<User>& users)
{
    bool changed = false;
    for (const User& entry : users) {
        if (entry.key.size() != kKeySize) {
            logWarning(lcController(), QStringLiteral("Ignored user %1: the key has %2 bytes, not %3")
                        .arg(entry.name)
                        .arg(entry.key.size())
                        .arg(kKeySize));
            continue;
        }
        changed = true;
        if (indexOfUser(entry.key) >= 0) {
            modifyUser(entry.key, [&](User& u) {
                u.name = entry.name;
                u.address = entry.address;
                u.port = entry.port;
            });
            continue;
        }
        User added(entry.name, entry.address, entry.port, entry.key);
        modifyUsers([&](QList<User>& list) { list.append(std::move(added)); });
    }
    refreshAllowedUsers();
    if (changed)
        scheduleSave();
}

void ControllerPrivate::editUsers(const QList<User>& users)
{
    if (users.isEmpty())
        return;
    const User& entry = users.first();
    if (indexOfUser(entry.key) < 0)
        return;
    modifyUser(entry.key, [&](User& u) {
        u.name = entry.name;
        u.address = entry.address;
        u.port = entry.port;
    });
    scheduleSave();
}

void ControllerPrivate::removeUser(const QByteArray& key)
{
    const qsizetype removedFiles = m_files.removeIf([&](const File& file) {
        if (file.user != key)
            return false;
        file.buffer()->closeBuffer();
        forgetRecord(file.id());
        return true;
    });
    if (removedFiles) {
            update();
    }
    m_deletedFileIDs.remove(key);
    m_learnedEndpoints.forget(key);
    m_policy->forget(key);

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

    const qsizetype index = indexOfUser(key);
    if (index >= 0) {
        modifyUsers([&](QList<User>& users) { users.removeAt(index); });
        refreshAllowedUsers();
    }
    scheduleSave();
}

void ControllerPrivate::editMe(const User& card)
{
    if (!m_me)
        return;
    const bool portChanged = card.port != m_me->port;
    modifyMe([&](User& me) {
        me.name = card.name;
        me.address = card.address;
        me.port = card.port;
    });
    scheduleSave();
    if (!portChanged)
        return;
    ensureListener().stop();
    stopPortMapping(PortMappingWait::no);
    if (m_listen) {
        if (m_mapPort)
            mapListeningPort();
        startListener();
    }
}

void ControllerPrivate::removeSigningKeys()
{
    try {
        KeyHelper& helper = keys();
        helper.deleteKey(helper.account());
    } catch (const KeyStoreUnavailable& e) {
        logWarning(lcController(), QStringLiteral("Could not remove the identity key: ") + e.message());
    } catch (const KeyStoreError& e) {
        logWarning(lcController(), QStringLiteral("Could not remove the identity key: ") + e.message());
    }
}

}  // namespace vortan
