#pragma once

#include "vortan/clock.h"
#include "vortan/connectfailure.h"
#include "vortan/controller/endpoints.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class ConnectionPolicy;
class KeyHelper;
class NetworkWatcher;
class PeerConnection;
class PeerConnectionDelegate;
struct NetworkError;

// The connections to peers: outgoing attempts over each user's endpoints
// (and the onion address), admission of connections that proved their key
// (the newest of a user wins, but of two that crossed, the one the greater
// key made), the users' connection states and failures, the endpoints
// learned this session, and the connection policy that calls users
// automatically (with the network watcher that tells it of changes).
class Peers : public QObject {
    Q_OBJECT
public:
    // Where a user was seen this session: announced on the local network, or
    // the address an authenticated incoming connection of theirs came from
    // (with the card's port). Kept in memory only, never in the user's card;
    // connectTo() tries it before the card's address.
    enum class EndpointSource { presence, incoming };

    // Where a call through Tor goes: tor's SOCKS socket, the user's onion
    // address and the service's port.
    struct OnionRoute {
        QString socksPath;
        QString onion;
        std::uint16_t port = 0;
    };
    // How long a call tries the user's direct endpoints alone before it
    // tries the onion address beside them.
    static constexpr std::chrono::seconds kOnionDelay{4};
    // Two connections of a user made from both ends within this time of each
    // other crossed: both ends keep the one made by the greater key.
    static constexpr std::chrono::seconds kCrossingWindow{10};

    struct Engine {
        std::function<KeyHelper&()> keys;
        // Receives the calls of the connections made here.
        PeerConnectionDelegate* delegate = nullptr;
        std::function<const User*(const QByteArray& key)> findUser;
        std::function<void(const QByteArray& key, const std::function<void(User&)>& change)> modifyUser;
        std::function<QList<QByteArray>()> userKeys;
        std::function<bool(const QByteArray& key)> hasWork;
        // A connection of the user takes its place among the ready ones:
        // blocks asked for on an older one may be asked for again.
        std::function<void(const QByteArray& key)> connectionReplaced;
        // The handshake of a connection of a known user is done.
        std::function<void(const std::shared_ptr<PeerConnection>& peer)> handshakeDone;
        // A connection ended; then, when the user has no ready one left,
        // userLeft (before the user's state changes).
        std::function<void(const std::shared_ptr<PeerConnection>& peer)> connectionEnded;
        std::function<void(const QByteArray& key)> userLeft;
        // Where a call to the user through Tor goes; absent while tor cannot
        // take calls (or is off).
        std::function<std::optional<OnionRoute>(const QByteArray& key)> onionRoute;
        // A connection through Tor was made.
        std::function<void()> torConnectionWorked;
    };

    Peers(Clock& clock, Engine engine);
    ~Peers() override;

    void connectTo(const QByteArray& key);
    void disconnectFrom(const QByteArray& key);
    // Ends every connection of a user that is removed, and forgets it.
    void forget(const QByteArray& key);
    void learnEndpoint(const QByteArray& key, const QString& host, std::uint16_t port, EndpointSource source);
    // Calls a user connected through Tor at these direct endpoints at once,
    // each from localPort (0: any). The first to prove the user's key
    // replaces the connection through Tor; failures change nothing but the
    // user's noDirectPath once all have failed.
    void callDirect(const QByteArray& key, const QList<Endpoint>& endpoints, std::uint16_t localPort);
    // The user's announcements on the local network resolved to these
    // endpoints, the one to try first first.
    void learnPresence(const QByteArray& key, const QList<Endpoint>& endpoints);
    // The user's last announcement on the local network went away.
    void presenceGone(const QByteArray& key);
    // Whether the user's connection still carries what we send: false, and
    // the connection closed as lost, once the peer's TCP has acknowledged
    // nothing for kDeadLink (asked when a download there receives nothing).
    bool linkAlive(const QByteArray& key);
    static constexpr std::chrono::milliseconds kDeadLink{10000};
    // A connection ready this long before it ended is called again at once.
    static constexpr std::chrono::milliseconds kLongLived{30000};
    ConnectionPolicy& policy() { return *m_policy; }
    const ConnectionPolicy& policy() const { return *m_policy; }
    // Follows the machine's network changes (logging how, or that it cannot).
    void followNetwork();
    void networkChanged();
    // Closes everything: the object is going.
    void shutDown();

    // Ready connections, at most one per user, in the order they became ready.
    const QList<std::shared_ptr<PeerConnection>>& ready() const { return m_peers; }
    // Outgoing connections not ready yet.
    QList<std::shared_ptr<PeerConnection>> connecting() const;
    // Connections that proved their key and wait for the peer's first frame.
    const QList<std::shared_ptr<PeerConnection>>& pending() const { return m_pendingPeers; }
    std::shared_ptr<PeerConnection> peerFor(const QByteArray& key) const;

    // Whether messages of this connection count: a connection that just
    // proved its key takes its place among the ready ones here.
    bool admit(const std::shared_ptr<PeerConnection>& peer);
    // The connections' reports (see PeerConnectionDelegate).
    void becameReady(const std::shared_ptr<PeerConnection>& peer);
    void failed(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer);
    void cancelled(const std::shared_ptr<PeerConnection>& peer);

    static constexpr int kStrangersTold = 16;

signals:
    // The machine's network changed (the connection policy was told).
    void networkDidChange();
    // A connection of this user became ready (it is now connected).
    void peerReady(const QByteArray& key);
    // The user has no connection left (after having been connected).
    void peerDisconnected(const QByteArray& key);
    // Someone whose key is not among the users called and was refused:
    // told once per key, for the first kStrangersTold keys of a run.
    void strangerRefused(const QByteArray& key);

private:
    // One connection of an attempt to reach a user: its endpoint, the ones
    // still to try when it fails, and the most telling failure so far.
    struct OutgoingPeer {
        std::shared_ptr<PeerConnection> peer;
        QByteArray calledKey;
        Endpoint endpoint;
        QList<Endpoint> rest;
        std::optional<ConnectFailure> failure;
        bool ended = false;  // its failure was handled, or we cancelled it
        bool throughTor = false;
        bool upgrade = false;  // made by callDirect()
    };
    // One call to a user: the direct endpoints one after the other, and the
    // onion address beside them; it fails once both have.
    struct Call {
        std::optional<ConnectFailure> directFailure;
        std::optional<ConnectFailure> torFailure;
        bool directDone = false;
        bool torStarted = false;
        std::unique_ptr<Timer> onionTimer;
    };

    void startAttempt(const QByteArray& key, QList<Endpoint> endpoints, std::optional<ConnectFailure> earlier);
    // Calls the user's onion address, when tor can take the call.
    bool startOnionAttempt(const QByteArray& key);
    // One path of the call ended without a connection: the call fails once
    // the other has too.
    void pathFailed(const QByteArray& key, bool throughTor, ConnectFailure failure);
    // An outgoing connection that is not ready ended: tries the attempt's
    // next endpoint, or reports the failure.
    void connectionFailed(qsizetype outgoing, ConnectFailure failure);
    void reportFailure(const QByteArray& key, ConnectFailure failure);
    bool stillConnecting(const QByteArray& key) const;
    // Makes the connection the user's ready one; false when it lost to a
    // crossing one (and was closed).
    bool promote(const std::shared_ptr<PeerConnection>& peer);
    // Whether our end made the connection.
    bool dialledByUs(const std::shared_ptr<PeerConnection>& peer) const;
    // Whether the connection our end made wins when calls cross.
    bool weWinCrossings(const QByteArray& key) const;
    void noteDisconnected(const QByteArray& key, bool longLived);
    // callDirect()'s connection at this index ended without replacing the
    // one through Tor.
    void upgradeFailed(qsizetype outgoing, const ConnectFailure& failure);
    // Whether the connection made by callDirect() wins over the user's
    // ready one; closes it when it does not.
    bool upgradeWins(const std::shared_ptr<PeerConnection>& peer, const QByteArray& key);
    void refusedStranger(const QByteArray& key);

    Clock& m_clock;
    Engine m_engine;
    std::unique_ptr<ConnectionPolicy> m_policy;
    NetworkWatcher* m_networkWatcher = nullptr;
    LearnedEndpoints m_learnedEndpoints;
    QList<OutgoingPeer> m_connectingPeers;
    QHash<QByteArray, std::shared_ptr<Call>> m_calls;
    // Handshake done, but no frame from the peer yet: a replayed handshake
    // record gets this far. Such a connection replaces nothing until its
    // first frame proves it holds the connection key.
    QList<std::shared_ptr<PeerConnection>> m_pendingPeers;
    QList<std::shared_ptr<PeerConnection>> m_peers;
    QHash<const PeerConnection*, Clock::TimePoint> m_readySince;
    QSet<QByteArray> m_strangersTold;  // refused this run and told
};

}  // namespace vortan
