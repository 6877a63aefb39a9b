#pragma once

#include "vortan/clock.h"
#include "vortan/connection/handshakegate.h"
#include "vortan/listener/listenerdelegate.h"
#include "vortan/listener/socketlistener.h"
#include "vortan/peer/weakref.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class QTcpSocket;

namespace vortan {

class KeyHelper;

// Accepts connections from other users on one port and wraps each in a
// PeerConnection that reports to this Listener's delegate (the one set when
// it was accepted). While `started`, it starts again a while (10 s) after it
// has been cancelled, for instance after a failure.
//
// Accepted connections waiting for their handshake are bounded per remote
// address and in all (HandshakeGate); a new one beyond a bound closes the
// oldest waiting one of its address, else of all.
//
// A state report from a listening socket that a later start() has replaced
// (for instance the late "cancelled" of the old socket after a port change)
// is logged and otherwise ignored: it neither changes anything nor arms the
// restart.
class Listener : public WeaklyReferenced {
public:
    static constexpr std::chrono::milliseconds kDefaultRestartDelay{10000};

    // clock: the restart's and the accepted connections' timers (null: the
    // system's).
    Listener(KeyHelper& keys, ListenerDelegate* delegate, Clock* clock = nullptr);
    ~Listener();

    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Set by the owner before start(): the port, and whether listening is wanted.
    std::optional<std::uint16_t> port;
    bool started = false;

    // Listens on `port` (does nothing without one), replacing the current
    // listening socket.
    void start();
    // Clears `started`, closes the listening socket and disarms the restart.
    void stop();

    ListenerDelegate* delegate() const { return m_delegate.get(); }
    void setDelegate(ListenerDelegate* delegate) { m_delegate = delegate; }

    // The current listening socket, if any.
    SocketListener* listener() const { return m_listener.get(); }
    bool restartArmed() const { return m_timer->isActive(); }

    // Tests shorten the pause before a restart.
    void setRestartDelay(std::chrono::milliseconds delay) { m_restartDelay = delay; }
    std::chrono::milliseconds restartDelay() const { return m_restartDelay; }
    HandshakeGate& handshakeGate() { return m_gate; }
    // Takes a connected socket from elsewhere (tor's onion service) and
    // admits it as one it accepted itself.
    void accept(QTcpSocket* socket);

private:
    void stateChanged(SocketListener& source, std::uint64_t generation, const SocketListenerState& state);

    KeyHelper& m_keys;
    std::shared_ptr<SocketListener> m_listener;
    std::uint64_t m_generation = 0;  // counts start(); reports of older sockets are ignored
    Clock* m_clock = &systemClock();
    std::unique_ptr<Timer> m_timer;
    std::chrono::milliseconds m_restartDelay = kDefaultRestartDelay;
    WeakRef<ListenerDelegate> m_delegate;
    HandshakeGate m_gate;
};

}  // namespace vortan
