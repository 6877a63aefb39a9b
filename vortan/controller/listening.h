#pragma once

#include "vortan/clock.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/listenerstate.h"
#include "vortan/reachability.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class Listener;
class ListenerDelegate;
class LocalPresence;
class PeerConnection;
class PortMapper;
struct SocketListenerState;

// How others reach this instance: the listener on the own card's port, the
// router's forwarding of that port, and the announcement on the local
// network (with the browsing that finds known users there). It publishes
// the listener's state and the reachability.
class Listening : public QObject {
    Q_OBJECT
public:
    // The longest stop() waits for the gateway to remove the port mapping.
    static constexpr std::chrono::milliseconds kGatewayWaitAtStop{3000};

    // What it needs of the rest of the engine.
    struct Engine {
        std::function<KeyHelper&()> keys;
        // Receives the listener's state and its connections' reports.
        ListenerDelegate* delegate = nullptr;
        std::function<const std::optional<User>&()> me;
        std::function<const User*(const QByteArray&)> findUser;
        std::function<QList<QByteArray>()> userKeys;
        // A known user was seen on the local network at these endpoints
        // (the one to try first first).
        std::function<void(const QByteArray&, const QList<Endpoint>&)> userSeen;
        // Their last announcement there went away.
        std::function<void(const QByteArray&)> userGone;
        std::function<std::shared_ptr<PeerConnection>(const QByteArray&)> peerFor;
        // The router told the address others see this machine at.
        std::function<void(const QString&)> publicAddress;
    };

    Listening(Clock& clock, PortMapper& portMapper, bool usePresence, Engine engine);
    ~Listening() override;

    // Asks the router for the external address (when the card has none),
    // then listens and maps as asked.
    void start(bool listen, bool mapPort);
    // Applies changed settings.
    void setSettings(bool listen, bool mapPort);
    // The own port changed: listens (and maps) again on the new one.
    void portChanged();
    // Removes the port mapping, waiting for it at most kGatewayWaitAtStop.
    void stop();
    // The engine is going away: the announcement ends first, the listener
    // (and with it the connections it accepted) last.
    void closePresence();
    void closeListener();

    bool listening() const { return m_listen; }
    bool mappingPort() const { return m_mapPort; }
    Listener* listener() const { return m_listener.get(); }
    const ListenerState& state() const { return m_state; }
    const Reachability& reachability() const { return m_reachability; }

    void listenerStateDidChange(const SocketListenerState& state);
    // Announces while listening, browses while started, follows the users.
    void updatePresence();

signals:
    void stateChanged();
    void reachabilityChanged();

private:
    enum class Wait { yes, no };
    void startListener();
    Listener& ensureListener();
    void mapPort();
    void stopPortMapping(Wait wait);
    void receivedPublicAddress(const QString& address);
    void setState(ListenerState state);
    void setRouter(Reachability::Router router, const QString& problem);
    void presenceStateChanged();
    void followPresence();

    Clock& m_clock;
    PortMapper& m_portMapper;
    bool m_usePresence;
    Engine m_engine;
    bool m_started = false;
    bool m_listen = false;
    bool m_mapPort = false;
    bool m_mapRequested = false;  // map_port() was called since the last unmap_port()
    std::uint64_t m_mappingGeneration = 0;  // the current request's answer counts
    std::unique_ptr<Listener> m_listener;
    ListenerState m_state = ListenerState::stopped();
    Reachability m_reachability;
    std::unique_ptr<LocalPresence> m_presence;
};

}  // namespace vortan
