#pragma once

#include "vortan/connection/connection.h"
#include "vortan/peer/peerconnectiondelegate.h"
#include "vortan/peer/weakref.h"
#include "vortan/records/blockset.h"
#include "vortan/records/file.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace vortan {

class KeyHelper;

// One authenticated, encrypted connection to another user's machine, with a
// typed send operation per message kind and typed reports to its delegate.
//
// Ownership: while its connection is open, the connection's state handler
// holds the PeerConnection, so an accepted one needs no other owner; the
// handler is dropped when the connection reports cancelled, and the object
// goes when nobody else holds it. Create instances with the two factories.
class PeerConnection : public std::enable_shared_from_this<PeerConnection> {
    struct Private {};

public:
    using SendCompletion = Connection::SendCompletion;

    // Wraps a connection accepted by a listener and starts it: no user until
    // ready. The ticket (if any) is given back once the peer's first frame
    // has authenticated it.
    static std::shared_ptr<PeerConnection> accepted(KeyHelper& keys, QTcpSocket* socket,
                                                    PeerConnectionDelegate* delegate,
                                                    HandshakeGate::Ticket ticket = {}, Clock* clock = nullptr);
    // Connects to host and port to talk to the user whose key is given, and
    // starts the connection.
    // localPort: see Connection::setLocalPort().
    static std::shared_ptr<PeerConnection> connect(KeyHelper& keys, const QString& host, quint16 port,
                                                   QByteArray userKey, PeerConnectionDelegate* delegate,
                                                   Clock* clock = nullptr, quint16 localPort = 0);
    // The same through tor's SOCKS socket, to an onion address.
    static std::shared_ptr<PeerConnection> connectThroughTor(KeyHelper& keys, const QString& socksPath,
                                                             const QString& onion, quint16 port, QByteArray userKey,
                                                             PeerConnectionDelegate* delegate, Clock* clock = nullptr);

    PeerConnection(Private, KeyHelper& keys, std::unique_ptr<Connection> connection, std::optional<QByteArray> user,
                   PeerConnectionDelegate* delegate);
    ~PeerConnection();

    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    // The connection; the owner closes a peer with connection()->cancel().
    Connection* connection() const { return m_connection.get(); }
    // The peer's 32-byte signing key: for an outgoing connection the called
    // user's key until ready, then (both ways) the authenticated key.
    const std::optional<QByteArray>& user() const { return m_user; }
    PeerConnectionDelegate* delegate() const { return m_delegate.get(); }
    void setDelegate(PeerConnectionDelegate* delegate) { m_delegate = delegate; }

    void sendListRequest();
    // Sends the files as FileProxy entries without their locations. Throws
    // the encoder's error, sending nothing, when they cannot be encoded.
    void sendList(const QList<File>& files);
    // Throws the encoder's error, sending nothing, when it cannot be encoded.
    void sendWant(const BlockSet& blocks, const QUuid& fileID);
    // completion is called exactly once, later, from the event loop: with no
    // error once the message has been handed to the kernel, else with the
    // error (ECANCELED after a cancellation, the failure's error after a
    // failure, ENOTCONN before ready, EOVERFLOW for a block index beyond
    // 32 bits).
    void sendData(QByteArrayView data, std::int64_t block, const QUuid& fileID, SendCompletion completion);
    // Tells our direct endpoints (at most Hints::kMax); only on a connection
    // through Tor, else nothing is sent.
    void sendHints(const QList<Endpoint>& endpoints);

    // A list payload of at least this many bytes (some 500 entries) is decoded
    // on a worker thread: a full message holds tens of thousands of entries
    // and would keep the event loop busy for tens of milliseconds. Messages
    // that arrive meanwhile wait, so the delegate still sees them in order.
    static constexpr qsizetype kBackgroundListBytes = 64 * 1024;

private:
    struct DecodedList;
    struct Inbound {
        MessageType type;
        QByteArray payload;
    };

    void installStateHandler();
    void stateChanged(const ConnectionState& state);
    void becameReady();
    void received(MessageType type, QByteArray payload);
    void dispatch(MessageType type, QByteArray payload);
    void receivedList(const QByteArray& payload);
    void decodeListInBackground(QByteArray payload);
    static DecodedList decodeList(const QByteArray& payload, const QByteArray& user);
    void listDecoded(DecodedList list);
    void reportList(DecodedList list);
    void receivedWant(const QByteArray& payload);
    void receivedData(QByteArray payload);
    void receivedHints(const QByteArray& payload);

    KeyHelper& m_keys;
    std::unique_ptr<Connection> m_connection;
    std::optional<QByteArray> m_user;
    bool m_authenticated = false;  // the first frame has been reported
    WeakRef<PeerConnectionDelegate> m_delegate;

    bool m_decodingList = false;      // a list is being decoded on a worker thread
    std::deque<Inbound> m_backlog;    // messages that arrived meanwhile
    std::uint64_t m_listGeneration = 0;  // a cancellation voids the decode under way
};

}  // namespace vortan
