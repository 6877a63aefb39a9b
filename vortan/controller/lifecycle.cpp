#include "vortan/controller/controller_p.h"

#include "vortan/controller/connectionpolicy.h"
#include "vortan/directories.h"
#include "vortan/controller/networkwatcher.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/listener/listener.h"
#include "vortan/log.h"
#include "vortan/portmapping/portmapper.h"
#include "vortan/portmapping/queuedcall.h"

#include "vortan/controller/downloadtarget.h"
#include <algorithm>

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
    m_listen = listen;
    m_mapPort = mapPort;
    load();

    if (!m_me) {
        emit objectWillChange();
        m_me = User(computerName(), std::nullopt, kDefaultPort, publicKey);
        emit meChanged();
        scheduleSave();
    } else if (m_me->key != publicKey) {
        modifyMe([&](User& me) { me.key = publicKey; });
        scheduleSave();
    }

    m_portMapper.port_mapping_init();
    if (!m_me->address) {
        // Comes back on the mapper's thread; dropped once this object is gone.
        m_portMapper.get_public_address(
            queuedTo<const QString&>(this, [this](const QString& address) { receivedPublicAddress(address); }));
    }
    if (m_listen) {
        if (m_mapPort)
            mapListeningPort();
        startListener();
    }
    if (m_options.watchNetwork)
        m_peers.followNetwork();
    updatePresence();
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
    if (address.isEmpty())
        return;
    if (m_reachability.externalAddress != address) {
        m_reachability.externalAddress = address;
        emit reachabilityChanged();
    }
    if (!m_me || m_me->address)
        return;
    modifyMe([&](User& me) { me.address = address; });
    scheduleSave();
}

void ControllerPrivate::stop()
{
    stopPortMapping(PortMappingWait::yes);
    save();
}

void ControllerPrivate::save()
{
    m_store.cancelScheduled();
    // Before start nothing is loaded: writing would replace the stored state.
    if (!m_started)
        return;
    // A block whose send has not completed may have reached the peer, which
    // then never asks for it again: store it as sent, so that a restart does
    // not leave the offer one block short for good. Should it be lost after
    // all, the peer asks for it again (it tops up downloads a list leaves out).
    QList<File> stored = m_files.list();
    if (m_sending.hasInFlight()) {
        for (File& record : stored) {
            if (!record.download)
                record.blocks.unite(m_sending.inFlight(record.id()));
        }
    }
    m_store.write(stored, m_users, m_me, m_catalogue.deletedFileIDs());
}

void ControllerPrivate::load()
{
    QList<File> files = m_store.loadFiles().value_or(QList<File>());
    // Everything that finds a record by its id relies on ids being unique.
    QSet<QUuid> seen;
    m_files.clear();
    for (File& file : files) {
        if (seen.contains(file.id())) {
            logWarning(lcController(), QStringLiteral("Dropped a second stored record with id %1").arg(file.id().toString(QUuid::WithoutBraces)));
            continue;
        }
        seen.insert(file.id());
        // Failures are not stored, but a failed final move leaves its partial
        // file beside the target: such a download is not done.
        if (file.download && file.location() && file.transferred() && pathExists(file.partialPath()))
            file.error = VortanError::other(
                QStringLiteral("The finished download is still at %1: it could not be moved into place")
                    .arg(file.partialPath()));
        m_files.append(std::move(file));
    }
    update();

    QList<User> users = m_store.loadUsers().value_or(QList<User>());
    modifyUsers([&](QList<User>& list) { list = std::move(users); });

    std::optional<User> me = m_store.loadMe();
    emit objectWillChange();
    m_me = std::move(me);
    emit meChanged();

    m_catalogue.setDeletedFileIDs(m_store.loadDeleted().value_or(UuidListsByKey()));

    appendBundledUsers();
    refreshAllowedUsers();
}

void ControllerPrivate::appendBundledUsers()
{
    const QString path = m_options.bundledUsersPath.value_or(defaultBundledUsersPath());
    if (path.isEmpty())
        return;
    const std::optional<QList<User>> bundled = Store::readBundledUsers(path);
    if (!bundled)
        return;
    // Only users not listed yet: appending the bundle as it is would add the
    // same users once more at every start, since the list is stored.
    QList<User> added;
    for (const User& user : *bundled) {
        if (indexOfUser(user.key) >= 0)
            continue;
        if (std::any_of(added.cbegin(), added.cend(), [&](const User& u) { return u.key == user.key; }))
            continue;
        added.append(user);
    }
    if (added.isEmpty())
        return;
    modifyUsers([&](QList<User>& users) { users.append(added); });
    scheduleSave();
}

void ControllerPrivate::setSettings(bool listen, bool mapPort)
{
    if (!m_started)
        return;
    m_listen = listen;
    m_mapPort = mapPort;
    if (!listen) {
        ensureListener().stop();
        stopPortMapping(PortMappingWait::no);
        updatePresence();
        return;
    }
    if (mapPort)
        mapListeningPort();
    else
        stopPortMapping(PortMappingWait::no);
    startListener();
}

void ControllerPrivate::stopPortMapping(PortMappingWait wait)
{
    // Only a mapping this controller asked for can stand; without one there is
    // nothing to remove and no reason to wait for the mapper's queue (which
    // may be busy discovering the gateway for the external address).
    if (m_mapRequested) {
        if (wait == PortMappingWait::yes) {
            // The gateway may be slow or gone (a discovery alone takes 2 s):
            // the process does not wait for it beyond a bound.
            if (!m_portMapper.unmap_port_within(kGatewayWaitAtStop))
                logWarning(lcPortMapping(), QStringLiteral("Gave up waiting for the gateway after %1 s: the port mapping may still stand.")
                                                .arg(std::chrono::duration_cast<std::chrono::seconds>(kGatewayWaitAtStop).count()));
        } else
            m_portMapper.unmap_port_async();
        m_mapRequested = false;
    }
    ++m_mappingGeneration;
    setRouter(Reachability::Router::off, {});
    logInfo(lcPortMapping(), QStringLiteral("Stopped port mapping."));
}

void ControllerPrivate::mapListeningPort()
{
    if (!m_me || !m_me->port)
        return;
    setRouter(Reachability::Router::searching, {});
    // Comes back on the mapper's thread; dropped once this object is gone.
    m_portMapper.map_port_reporting(
        *m_me->port,
        queuedTo<bool, const QString&>(this, [this, generation = ++m_mappingGeneration](bool forwarded,
                                                                                       const QString& problem) {
            if (generation != m_mappingGeneration)
                return;  // stopped or asked again meanwhile
            setRouter(forwarded ? Reachability::Router::forwarded : Reachability::Router::failed, problem);
            if (forwarded)
                logInfo(lcPortMapping(), QStringLiteral("The gateway forwards the port."));
            else
                logWarning(lcPortMapping(), QStringLiteral("The port is not forwarded: %1").arg(problem));
            if (forwarded && m_reachability.externalAddress.isEmpty())
                m_portMapper.get_public_address(
                    queuedTo<const QString&>(this, [this](const QString& address) { receivedPublicAddress(address); }));
        }));
    m_mapRequested = true;
    logInfo(lcPortMapping(), QStringLiteral("Mapped port %1.").arg(*m_me->port));
}

Listener& ControllerPrivate::ensureListener()
{
    if (!m_listener)
        m_listener = std::make_unique<Listener>(keys(), this, &m_clock);
    return *m_listener;
}

void ControllerPrivate::startListener()
{
    if (!m_me || !m_me->port || *m_me->port == 0)
        return;
    Listener& listener = ensureListener();
    if (listener.started)
        return;
    listener.port = *m_me->port;
    listener.started = true;
    listener.start();
}

void ControllerPrivate::listenerStateDidChange(const SocketListenerState& state)
{
    switch (state.kind) {
    case SocketListenerState::Kind::failed:
        setListenerState(ListenerState::failed(VortanError::network(state.error.value_or(NetworkError::posix(0)))));
        return;
    case SocketListenerState::Kind::setup:
        return;
    case SocketListenerState::Kind::ready:
        setListenerState(ListenerState::ready());
        return;
    case SocketListenerState::Kind::cancelled:
        setListenerState(ListenerState::stopped());
        return;
    }
    logWarning(lcController(), QStringLiteral("Unknown state: ") + state.name());
}

void ControllerPrivate::setRouter(Reachability::Router router, const QString& problem)
{
    if (m_reachability.router == router && m_reachability.routerError == problem)
        return;
    m_reachability.router = router;
    m_reachability.routerError = router == Reachability::Router::failed ? problem : QString();
    emit reachabilityChanged();
}

void ControllerPrivate::setListenerState(ListenerState state)
{
    // Announced even when the value does not change.
    emit objectWillChange();
    m_listenerState = std::move(state);
    emit listenerStateChanged();
    updatePresence();
}

}  // namespace vortan
