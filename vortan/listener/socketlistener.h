#pragma once

#include "vortan/connection/uniquefd.h"
#include "vortan/errors.h"

#include <QMetaEnum>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace vortan {

// The states of a listening socket, as its owner sees them: setup, then
// ready (bound and listening) or failed(error), and cancelled once closed.
// There is no waiting state: a port that cannot be had fails.
struct SocketListenerState {
    Q_GADGET
public:
    enum class Kind { setup, ready, failed, cancelled };
    Q_ENUM(Kind)

    Kind kind = Kind::setup;
    std::optional<NetworkError> error;  // present for failed

    static SocketListenerState setup() { return {Kind::setup, std::nullopt}; }
    static SocketListenerState ready() { return {Kind::ready, std::nullopt}; }
    static SocketListenerState failed(NetworkError error) { return {Kind::failed, std::move(error)}; }
    static SocketListenerState cancelled() { return {Kind::cancelled, std::nullopt}; }

    // "setup", "ready", "failed", "cancelled".
    QString name() const { return QString::fromLatin1(QMetaEnum::fromType<Kind>().valueToKey(int(kind))); }

    friend bool operator==(const SocketListenerState&, const SocketListenerState&) = default;
};

// A TCP listening socket on every address, IPv6 and IPv4 (dual stack; IPv4
// alone where the kernel has no IPv6), on one port. States and accepted
// connections are reported from the event loop, never from inside start()
// or cancel(). Binding is done here rather than by QTcpServer so that a
// failure carries the kernel's error number.
//
// Held by std::shared_ptr: a report in flight keeps its listener alive until
// it has been delivered, so that closing and dropping a listener still
// reports cancelled.
class SocketListener : public QObject, public std::enable_shared_from_this<SocketListener> {
    Q_OBJECT
public:
    using StateHandler = std::function<void(SocketListener& source, const SocketListenerState& state)>;
    // Takes ownership of the connected socket.
    using ConnectionHandler = std::function<void(QTcpSocket* socket)>;

    // port 0 asks the kernel for a free port.
    explicit SocketListener(quint16 port);
    ~SocketListener() override;

    void setStateHandler(StateHandler handler) { m_onState = std::move(handler); }
    void setConnectionHandler(ConnectionHandler handler) { m_onConnection = std::move(handler); }

    // Reports setup, then ready or failed. Once.
    void start();
    // Closes the socket; cancelled is reported later. Once.
    void cancel();

    // The port asked for, or the one bound once ready.
    quint16 port() const;
    // Whether the socket could not even be created (as opposed to bound).
    bool creationFailed() const { return m_creationFailed; }

private:
    void listen();
    void acceptPending();
    void report(const SocketListenerState& state);

    quint16 m_port;
    QTcpServer* m_server = nullptr;  // a child, once listening
    bool m_started = false;
    bool m_cancelled = false;
    bool m_creationFailed = false;
    StateHandler m_onState;
    ConnectionHandler m_onConnection;
};

}  // namespace vortan
