#include "vortan/controller/controller.h"

#include "vortan/controller/directories.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/listener/listener.h"
#include "vortan/log.h"
#include "vortan/portmapping/portmapper.h"
#include "vortan/portmapping/queuedcall.h"

#include <QLockFile>

#include <exception>

namespace vortan {

std::optional<StartError> Controller::start(bool listen, bool mapPort)
{
    if (m_started)
        return std::nullopt;
    if (std::optional<StartError> error = lockSupportDirectory())
        return error;

    // The identity first: when its store cannot be reached nothing else may
    // happen, least of all a card with a new key.
    QByteArray publicKey;
    try {
        publicKey = m_keys.publicKey();
    } catch (const KeyStoreError& e) {
        m_lock.reset();
        return StartError(StartError::Kind::keyStoreUnavailable, e.message());
    } catch (const KeyStoreUnavailable& e) {
        m_lock.reset();
        return StartError(StartError::Kind::keyStoreUnavailable, e.message());
    } catch (const std::exception& e) {
        m_lock.reset();
        return StartError(StartError::Kind::keyStoreUnavailable,
                          QStringLiteral("The identity key cannot be read: %1").arg(QString::fromUtf8(e.what())));
    }

    m_started = true;
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
    return std::nullopt;
}

void Controller::receivedPublicAddress(const QString& address)
{
    if (!m_me || m_me->address || address.isEmpty())
        return;
    modifyMe([&](User& me) { me.address = address; });
    scheduleSave();
}

void Controller::stop()
{
    stopPortMapping();
    save();
}

void Controller::setSettings(bool listen, bool mapPort)
{
    if (!m_started)
        return;
    m_listen = listen;
    m_mapPort = mapPort;
    if (!listen) {
        ensureListener().stop();
        stopPortMapping();
        return;
    }
    if (mapPort)
        mapListeningPort();
    else
        stopPortMapping();
    startListener();
}

void Controller::stopPortMapping()
{
    // Only a mapping this controller asked for can stand; without one there is
    // nothing to remove and no reason to wait for the mapper's queue (which
    // may be busy discovering the gateway for the external address).
    if (m_mapRequested) {
        m_portMapper.unmap_port();
        m_mapRequested = false;
    }
    logLine(QStringLiteral("Stopped port mapping."));
}

void Controller::mapListeningPort()
{
    if (!m_me || !m_me->port)
        return;
    m_portMapper.map_port(*m_me->port);
    m_mapRequested = true;
    logLine(QStringLiteral("Mapped port %1.").arg(*m_me->port));
}

Listener& Controller::ensureListener()
{
    if (!m_listener)
        m_listener = std::make_unique<Listener>(m_keys, this);
    return *m_listener;
}

void Controller::startListener()
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

void Controller::listenerStateDidChange(const SocketListenerState& state)
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
    logLine(QStringLiteral("Unknown state: ") + state.name());
}

void Controller::setListenerState(ListenerState state)
{
    // Announced even when the value does not change.
    emit objectWillChange();
    m_listenerState = std::move(state);
    emit listenerStateChanged();
}

}  // namespace vortan
