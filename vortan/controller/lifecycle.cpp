#include "vortan/controller/controller_p.h"

#include "vortan/controller/connectionpolicy.h"
#include "vortan/controller/downloadtarget.h"
#include "vortan/directories.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/log.h"
#include "vortan/tor/torservice.h"

#include <QDir>

#include <exception>

namespace vortan {

std::optional<StartError> ControllerPrivate::start(bool listen, bool mapPort)
{
    if (m_started)
        return std::nullopt;
    if (std::optional<StartError> error = m_store.lock())
        return error;

    // The identity first: when its store cannot be reached nothing else may
    // happen, least of all a card with a new key.
    QByteArray publicKey;
    try {
        publicKey = keys().publicKey();
    } catch (const KeyStoreError& e) {
        m_store.unlock();
        return StartError(StartError::Kind::keyStoreUnavailable, e.message());
    } catch (const KeyStoreUnavailable& e) {
        m_store.unlock();
        return StartError(StartError::Kind::keyStoreUnavailable, e.message());
    } catch (const crypto::CryptoError& e) {
        m_store.unlock();
        return StartError(StartError::Kind::keyStoreUnavailable,
                          QStringLiteral("The identity key cannot be read: %1").arg(QString::fromUtf8(e.what())));
    }

    m_started = true;
    m_store.enable();
    load();

    if (!m_directory.me()) {
        m_directory.setMe(User(proposedName(), std::nullopt, kDefaultPort, publicKey));
        m_store.schedule();
    } else if (m_directory.me()->key != publicKey) {
        m_directory.modifyMe([&](User& me) { me.key = publicKey; });
        m_store.schedule();
    }

    // A disconnect by hand holds across restarts.
    m_peers.policy().keepHeldIn(QDir(m_store.directory()).filePath(QStringLiteral("disconnected.txt")));
    m_listening.start(listen, mapPort);
    startTor();
    if (m_options.watchNetwork)
        m_peers.followNetwork();
    m_peers.policy().start();
    return std::nullopt;
}

KeyHelper& ControllerPrivate::keys()
{
    // The store is opened on first use, in the support directory; opening
    // throws KeyStoreUnavailable when the recorded store cannot be reached.
    if (!m_keys) {
        KeyStoreOptions options;
        options.choice = m_options.keyStore;
        options.supportDirectory = m_store.directory();
        m_ownedKeys = std::make_unique<KeyHelper>(openSecretStore(options));
        m_keys = m_ownedKeys.get();
    }
    return *m_keys;
}

void ControllerPrivate::receivedPublicAddress(const QString& address)
{
    if (!m_directory.me() || m_directory.me()->address)
        return;
    m_directory.modifyMe([&](User& me) { me.address = address; });
    m_store.schedule();
}

void ControllerPrivate::stop()
{
    m_listening.stop();
    if (m_tor)
        m_tor->stop();
    save();
}

void ControllerPrivate::save()
{
    m_sending.countAcknowledged();
    m_store.cancelScheduled();
    // Before start nothing is loaded: writing would replace the stored state.
    if (m_started)
        m_store.write(storedState());
}

void ControllerPrivate::saveInBackground()
{
    m_sending.countAcknowledged();
    m_store.cancelScheduled();
    if (m_started)
        m_store.writeInBackground(storedState());
}

Store::State ControllerPrivate::storedState() const
{
    // Only what the peers acknowledged is stored as sent (see SendLoops): an
    // offer the peer may still miss blocks of is listed again after a restart.
    return {m_files.chunks(), m_directory.users(), m_directory.me(), m_catalogue.deletedFileIDs()};
}

void ControllerPrivate::load()
{
    m_files.clear();
    m_files.append(m_store.loadFiles().value_or(QList<File>()));
    m_files.update();

    QList<User> users = m_store.loadUsers().value_or(QList<User>());
    m_directory.modify([&](QList<User>& list) { list = std::move(users); });
    m_directory.setMe(m_store.loadMe());

    m_catalogue.setDeletedFileIDs(m_store.loadDeleted().value_or(UuidListsByKey()));

    appendBundledUsers();
    refreshAllowedUsers();
}

void ControllerPrivate::appendBundledUsers()
{
    const QString path = m_options.bundledUsersPath.value_or(defaultBundledUsersPath());
    if (path.isEmpty())
        return;
    // Only users not listed yet: appending the bundle as it is would add the
    // same users once more at every start, since the list is stored.
    const std::optional<QList<User>> bundled = Store::readBundledUsers(path);
    if (bundled && m_directory.addNew(*bundled))
        m_store.schedule();
}

void ControllerPrivate::setSettings(bool listen, bool mapPort)
{
    if (!m_started)
        return;
    m_listening.setSettings(listen, mapPort);
    if (m_tor)
        m_tor->setPublishing(listen);
}

}  // namespace vortan
