#pragma once

#include "vortan/connection/connectionstate.h"
#include "vortan/connection/handshakegate.h"
#include "vortan/connection/uniquefd.h"
#include "vortan/framer/messagetype.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"
#include "vortan/errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QPointer>
#include <QString>
#include "vortan/clock.h"

#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace vortan {

class Dialer;
class Framer;

// One TCP connection with the peer protocol (the Framer) on top: outgoing to
// a host name or numeric address and a port, or accepted by a listener.
//
// Reports, always from the event loop and in order: setup, preparing, then
// ready once the framer has accepted the peer's handshake record (never on
// TCP connect or accept), and at the end failed(error) and/or cancelled.
// Messages reach the message handler only after the ready report has been
// handled, also those that arrived in the same read as the handshake record.
//
// A handshake record proves who signed it, not who holds the connection
// key: it travels in clear and can be replayed. Only the peer's first frame,
// which opens under the derived key, proves that; until then the connection
// is ready (it can send) but not authenticated(), and it still counts as
// waiting for its handshake (timeout and ticket).
//
// The diagnostic lines of an accepted connection are held back until it is
// authenticated; if it fails first they are dropped, and one line per remote
// address and minute says so (RateLimitedLog::preAuthentication()).
//
// Errors: a connect that cannot be made fails with the kernel's POSIX error
// or a DNS code (see Connector), or ETIMEDOUT when a direct connect takes
// longer than handshakeTimeout(); no authenticated frame within
// handshakeTimeout() of the TCP connection: ETIMEDOUT; a framer failure: ECONNABORTED; a reset by
// the peer: ECONNRESET. A peer that closes the stream in order after the
// handshake ends the connection as cancelled, with no error; one that closes
// it during the handshake has refused us and fails it with ECONNRESET.
// Failing aborts the socket.
//
// Every send completion is called exactly once, later, from the event loop:
// with no error once the message's bytes have been handed to the kernel,
// otherwise with ECANCELED after a cancellation, the failure's error after a
// failure, or ENOTCONN before the connection is ready. Completions are
// called even when the connection is destroyed first.
class Connection : public QObject {
    Q_OBJECT
public:
    using StateHandler = std::function<void(const ConnectionState& state)>;
    // The payload is handed over: a receiver that keeps or trims it need not copy.
    using MessageHandler = std::function<void(MessageType type, QByteArray payload)>;
    using SendCompletion = std::function<void(const std::optional<NetworkError>& error)>;

    // Outgoing, to host (a name or a numeric address) and port.
    Connection(KeyHelper& keys, QString host, quint16 port, QObject* parent = nullptr);
    // An outgoing connection made directly leaves from this local port
    // (shared with our listener), so that two ends calling each other at
    // once get through port-keeping NATs and stateful firewalls. Before
    // start(); 0: any port.
    void setLocalPort(quint16 port) { m_localPort = port; }
    // Outgoing through tor: its SOCKS5 proxy on the Unix-domain socket at
    // socksPath, to host (an onion address) and port.
    Connection(KeyHelper& keys, QString host, quint16 port, QString socksPath, QObject* parent = nullptr);
    // Accepted: takes ownership of the connected socket. The ticket, if any,
    // is given back when the connection is authenticated or ends.
    Connection(KeyHelper& keys, QTcpSocket* accepted, HandshakeGate::Ticket ticket = {},
               QObject* parent = nullptr);
    ~Connection() override;

    // Either handler may be replaced or cleared at any time, also from inside
    // a report.
    void setStateHandler(StateHandler handler) { m_stateHandler = std::move(handler); }
    void setMessageHandler(MessageHandler handler) { m_messageHandler = std::move(handler); }

    // Starts connecting (or, when accepted, the handshake). Once.
    void start();
    // Closes the connection; `cancelled` is reported later. Messages not yet
    // delivered are dropped. Does nothing once cancelled.
    void cancel();
    // Fails the connection with error (a check above the framer refused it):
    // the socket is aborted and failed(error) reported later. Does nothing
    // once the connection has ended.
    void abort(const NetworkError& error) { fail(error); }
    // Seals and queues one message; see the class comment for completions.
    void send(MessageType type, QByteArrayView payload, SendCompletion completion = {})
    {
        send(type, payload, {}, std::move(completion));
    }
    // The same for a payload made of head followed by body (not joined first).
    void send(MessageType type, QByteArrayView head, QByteArrayView body, SendCompletion completion);

    ConnectionState::Kind state() const;
    bool isReady() const { return m_phase == Phase::ready; }
    // Whether a frame from the peer has opened under the connection key.
    bool authenticated() const { return m_authenticated; }
    // Whether the stream goes through tor (made through its proxy, or
    // handed over by it on a Unix-domain socket) rather than straight to
    // the peer's address.
    bool throughTor() const { return !m_socksPath.isEmpty() || m_localStream; }
    // Whether the peer made this connection (a listener accepted it).
    bool accepted() const { return m_accepted; }
    // The key of a peer refused because it is not among the allowed users
    // (see Framer::refusedKey()); empty otherwise.
    QByteArray refusedKey() const;

    // The bytes of the stream this side has queued so far, the handshake
    // record included: a message's bytes end at the count right after its
    // send().
    qint64 bytesQueued() const { return m_bytesQueued; }
    // How many of them the peer's TCP is known to have acknowledged: asked
    // of the kernel while the socket is open, last right before it is
    // closed (a reset or a timeout leaves the count as it was); afterwards
    // that last count. Bytes past it may have been lost with the connection.
    qint64 bytesAcknowledged();
    // See unacknowledgedFor() in socketutil.h: absent through tor, whose
    // local end acknowledges everything.
    std::optional<std::chrono::milliseconds> unacknowledgedFor() const;

    // The socket's descriptor while it is open, else -1.
    int socketDescriptor() const;
    // The numeric local and remote endpoints, once the TCP connection exists.
    const std::optional<StorageKey>& endpoints() const { return m_endpoints; }
    // "local <-> remote", e.g. "127.0.0.1:40312 <-> 127.0.0.1:54322", or the
    // target of an outgoing connection before it is made.
    QString description() const;
    // "127.0.0.1:54322" (IPv6 in brackets); the target before connecting.
    QString remoteDescription() const;

    // How long a connection may take from TCP connect to the peer's first
    // authenticated frame (30 s), and a direct connect at most. Tests shorten
    // it; takes effect for connections that start or reach TCP connect
    // afterwards.
    // The clock of the handshake timeout; call before start().
    void setClock(Clock& clock) { m_clock = &clock; }
    static std::chrono::milliseconds handshakeTimeout();
    static void setHandshakeTimeout(std::chrono::milliseconds timeout);

private:
    enum class Phase { idle, connecting, handshaking, ready, failed, cancelled };

    struct Event {
        bool isState = true;
        ConnectionState state;
        MessageType type = MessageType::invalid;
        QByteArray payload;
    };

    struct PendingSend {
        qint64 end;  // total bytes queued once this message's last byte was
        SendCompletion completion;
    };

    void connected(UniqueFd socket);
    void attach();
    std::optional<StorageKey> torEndpoints();
    void readAvailable();
    void bytesWritten();
    void socketError();
    // Reads up to `budget` bytes from the kernel into m_readBuffer and hands them on.
    void readDirectly(qint64 budget);
    void framerReady();
    void fail(const NetworkError& error);
    void closeSocket(bool discardUnread);
    void finishPendingSends(const NetworkError& error);
    void report(const ConnectionState& state);
    void deliver(MessageType type, const QByteArray& payload);
    void scheduleDrain();
    void releaseConnector();
    void drain();

    KeyHelper& m_keys;
    QString m_host;
    quint16 m_port = 0;
    quint16 m_localPort = 0;
    QString m_socksPath;
    bool m_localStream = false;  // a Unix-domain socket: tor's end of the path
    bool m_accepted = false;
    std::unique_ptr<Dialer> m_connector;
    QPointer<QTcpSocket> m_socket;
    UniqueFd m_watch;  // a second descriptor of the socket, to tell a reset from a close
    std::unique_ptr<Framer> m_framer;
    Clock* m_clock = &systemClock();
    std::unique_ptr<Timer> m_handshakeTimer;
    HandshakeGate::Ticket m_ticket;
    std::shared_ptr<HeldLines> m_heldLines;  // accepted connections until authenticated

    Phase m_phase = Phase::idle;
    bool m_authenticated = false;
    std::optional<NetworkError> m_endError;  // why sends fail once the connection has ended
    std::optional<StorageKey> m_endpoints;

    // Received bytes on their way to the framer; kept between reads up to
    // kKeptReadBuffer bytes.
    static constexpr qsizetype kKeptReadBuffer = 8 * 1024 * 1024;
    static constexpr qint64 kReadPerTurn = 1024 * 1024;
    // Messages smaller than this wait in the socket's buffer for the end of
    // the event loop's turn, so that the wants of thousands of small files,
    // or their blocks, leave in a few writes rather than one system call
    // (and one wake-up of the peer) each.
    static constexpr qsizetype kGatheredBelow = 16 * 1024;
    QByteArray m_readBuffer;

    qint64 m_bytesQueued = 0;
    qint64 m_bytesAcknowledged = 0;
    std::optional<qint64> m_ackedBase;  // the kernel's count before our first byte
    std::deque<PendingSend> m_pendingSends;

    std::deque<Event> m_events;
    bool m_drainScheduled = false;

    StateHandler m_stateHandler;
    MessageHandler m_messageHandler;
};

// Formats an endpoint as "address:port", IPv6 addresses in brackets.
QString endpointText(const Endpoint& endpoint);

}  // namespace vortan
