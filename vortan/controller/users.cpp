#include "vortan/controller/controller_p.h"

#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/log.h"

namespace vortan {

void ControllerPrivate::addUsers(const QList<User>& users)
{
    const bool changed = m_directory.add(users);
    refreshAllowedUsers();
    if (changed)
        m_store.schedule();
}

void ControllerPrivate::editUsers(const QList<User>& users)
{
    if (!users.isEmpty() && m_directory.edit(users.first()))
        m_store.schedule();
}

void ControllerPrivate::removeUser(const QByteArray& key)
{
    m_catalogue.removeUser(key);
    m_peers.forget(key);
    m_directPath.forget(key);
    if (m_directory.remove(key))
        refreshAllowedUsers();
    m_store.schedule();
}

void ControllerPrivate::editMe(const User& card)
{
    if (!m_directory.me())
        return;
    const bool portChanged = m_directory.editMe(card);
    m_store.schedule();
    if (portChanged)
        m_listening.portChanged();
}

void ControllerPrivate::refreshAllowedUsers()
{
    // Before start() there is no key store yet; start() sets the list.
    if (m_keys)
        m_keys->setAllowedUsers(std::vector<User>(m_directory.users().cbegin(), m_directory.users().cend()));
    m_listening.updatePresence();
    updateTorContacts();
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
