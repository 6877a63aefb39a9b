#pragma once

#include "vortan/listener/socketlistener.h"
#include "vortan/peer/peerconnectiondelegate.h"

namespace vortan {

// Receives the Listener's own state changes and, as their delegate,
// everything the connections it accepted report.
class ListenerDelegate : public PeerConnectionDelegate {
public:
    virtual void listenerStateDidChange(const SocketListenerState& state) = 0;
};

}  // namespace vortan
