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
    m_catalogue.removeUser(key);
    m_peers.forget(key);

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
