#pragma once

// Shared by the connection, peer and listener tests: identities held in
// memory, a recorder of connection reports, and a far side that speaks the
// protocol over a raw socket under the test's control.

#include "tests/framer/memorysecretstore.h"
#include "tests/support/testsupport.h"
#include "vortan/connection/connection.h"
#include "vortan/connection/socketutil.h"
#include "vortan/framer/framer.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/secretstore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vortan::test {

// Runs the event loop briefly so that anything already posted is delivered.
inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// One person: a key store with a fresh identity and the User others know.
struct Identity {
    std::unique_ptr<KeyHelper> keys;
    User user;

    explicit Identity(const QString& name) : keys(std::make_unique<KeyHelper>(std::make_unique<MemorySecretStore>()))
    {
        user = User(name, QStringLiteral("127.0.0.1"), std::nullopt, keys->publicKey());
    }
    const QByteArray& key() const { return user.key; }

    // Adds other to the users allowed to connect to this identity.
    void allow(const Identity& other)
    {
        std::vector<User> users = keys->allowedUsers();
        users.push_back(other.user);
        keys->setAllowedUsers(std::move(users));
    }
};

// Two people who know each other.
struct Pair {
    Identity alice{QStringLiteral("Alice")};
    Identity bob{QStringLiteral("Bob")};
    Pair()
    {
        alice.allow(bob);
        bob.allow(alice);
    }
};

// Everything a Connection reports, with the order of states and messages.
struct ConnectionRecorder {
    std::vector<ConnectionState> states;
    std::vector<std::pair<MessageType, QByteArray>> messages;
    // "state:ready", "message:4" ... in the order they were reported.
    QStringList events;
    // Arms the message handler only when ready is reported, the way a
    // PeerConnection does: a message delivered earlier is lost and shows.
    void attach(Connection& connection)
    {
        connection.setStateHandler([this, &connection](const ConnectionState& state) {
            states.push_back(state);
            events.append(QStringLiteral("state:") + state.name());
            if (state.kind == ConnectionState::Kind::ready) {
                connection.setMessageHandler([this](MessageType type, QByteArray payload) {
                    messages.emplace_back(type, payload);
                    events.append(QStringLiteral("message:%1").arg(rawValue(type)));
                });
            }
        });
    }
    bool has(ConnectionState::Kind kind) const { return kinds().contains(kind); }
    std::optional<NetworkError> failure() const
    {
        const auto failed = std::find_if(states.begin(), states.end(), [](const ConnectionState& state) {
            return state.kind == ConnectionState::Kind::failed;
        });
        return failed == states.end() ? std::nullopt : failed->error;
    }
    QList<ConnectionState::Kind> kinds() const
    {
        QList<ConnectionState::Kind> out;
        for (const ConnectionState& state : states)
            out.append(state.kind);
        return out;
    }
};

// The far side of a connection, driven by the test: a QTcpSocket with a
// Framer of its own. Output can be held back and written in one piece.
class FramedPeer : public QObject {
public:
    explicit FramedPeer(KeyHelper& keys) : m_framer(keys)
    {
        m_framer.setOutputHandler([this](QByteArrayView bytes) {
            if (holdOutput)
                held.append(bytes.data(), bytes.size());
            else
                socket->write(bytes.data(), bytes.size());
        });
        m_framer.setReadyHandler([this] { ready = true; });
        m_framer.setFailedHandler([this] { failed = true; });
        m_framer.setMessageHandler(
            [this](MessageType type, const QByteArray& payload) { received.emplace_back(type, payload); });
    }

    // Connects to 127.0.0.1:port; the handshake starts once connected.
    bool connectTo(quint16 port, int timeoutMs = 5000)
    {
        adopt(new QTcpSocket(this));
        connect(socket, &QTcpSocket::connected, this, [this] { begin(); });
        socket->connectToHost(QStringLiteral("127.0.0.1"), port);
        return waitFor([this] { return m_begun; }, timeoutMs);
    }

    // Talks over a socket accepted by the test.
    bool adoptAccepted(QTcpSocket* accepted)
    {
        adopt(accepted);
        return begin();
    }

    void flushHeld()
    {
        holdOutput = false;
        socket->write(held);
        held.clear();
    }

    // Sends a frame with any raw type value.
    bool send(std::int32_t rawType, const QByteArray& payload)
    {
        return m_framer.send(static_cast<MessageType>(rawType), payload);
    }
    bool send(MessageType type, const QByteArray& payload) { return m_framer.send(type, payload); }

    // Closes with a reset instead of a FIN.
    void reset()
    {
        const int fd = static_cast<int>(socket->socketDescriptor());
        const linger lingerOption{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lingerOption, sizeof lingerOption);
        socket->abort();
    }

    Framer& framer() { return m_framer; }

    QTcpSocket* socket = nullptr;
    bool holdOutput = false;
    QByteArray held;
    bool ready = false;
    bool failed = false;
    bool closedByPeer = false;
    std::vector<std::pair<MessageType, QByteArray>> received;

private:
    void adopt(QTcpSocket* s)
    {
        socket = s;
        s->setParent(this);
        connect(s, &QTcpSocket::readyRead, this, [this] {
            if (m_begun)
                m_framer.input(socket->readAll());
        });
        connect(s, &QTcpSocket::disconnected, this, [this] { closedByPeer = true; });
    }
    bool begin()
    {
        const int fd = static_cast<int>(socket->socketDescriptor());
        std::optional<StorageKey> endpoints = endpointsOf(fd);
        if (!endpoints)
            return false;
        m_framer.setEndpoints(*endpoints);
        m_begun = true;
        m_framer.start();
        if (socket->bytesAvailable() > 0)
            m_framer.input(socket->readAll());
        return true;
    }
    Framer m_framer;
    bool m_begun = false;
};

}  // namespace vortan::test
