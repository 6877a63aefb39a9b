#pragma once

#include "vortan/controller/hintfilter.h"
#include "vortan/keys/keyhelper.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class PeerConnection;
struct User;

// From a connection through Tor to a direct one. Both ends are ours on such
// a connection, so each tells the other where it may be reached directly
// (the router's mapped address, this machine's addresses, each with our
// listening port), and each calls what it is told from its own listening
// port: two calls made at about the same moment pass port-keeping NATs and
// stateful firewalls. A direct connection that proves the contact's key
// replaces the one through Tor (Peers). What a contact tells is checked
// (HintFilter), at most Hints::kMax of a message are taken, and each
// endpoint is called once until the network changes.
class DirectPath {
public:
    struct Engine {
        // The setting: off, hints are neither sent nor used.
        std::function<bool()> enabled;
        // Our listening port while we listen.
        std::function<std::optional<std::uint16_t>()> listeningPort;
        // The router's external address while it forwards our port.
        std::function<std::optional<QString>()> mappedAddress;
        // The own card's address: called again from both ends at once, it
        // may pass where the contact's first call did not.
        std::function<std::optional<QString>()> cardAddress;
        std::function<QList<QNetworkAddressEntry>()> networks;
        std::function<std::shared_ptr<PeerConnection>(const QByteArray& key)> peerFor;
        std::function<const User*(const QByteArray& key)> findUser;
        // Calls the user at these endpoints, each from the local port.
        std::function<void(const QByteArray& key, const QList<Endpoint>& endpoints, std::uint16_t localPort)> call;
    };
    // The most endpoints of one user called until the network changes.
    static constexpr qsizetype kMaxTriedPerUser = 16;

    explicit DirectPath(Engine engine) : m_engine(std::move(engine)) {}

    // The user's ready connection is new: when it goes through Tor, our
    // hints go out on it.
    void connected(const QByteArray& key);
    void hintsReceived(const QList<Endpoint>& hints, const std::shared_ptr<PeerConnection>& peer);
    // What was tried may work now: our hints go out again on the users'
    // connections through Tor, and what each told us last is called again.
    void networkChanged(const QList<QByteArray>& keys);
    void forget(const QByteArray& key)
    {
        m_tried.remove(key);
        m_told.remove(key);
    }

    // Our endpoints as we tell them.
    QList<Endpoint> ownHints() const;

private:
    Engine m_engine;
    QHash<QByteArray, QList<Endpoint>> m_tried;
    QHash<QByteArray, QList<Endpoint>> m_told;  // each user's last hints
};

}  // namespace vortan
