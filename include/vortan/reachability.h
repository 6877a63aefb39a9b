#pragma once

#include <QString>

namespace vortan {

// How others can reach this instance, beyond the listener's own state: the
// router's port forwarding and the presence on the local network.
struct Reachability {
    enum class Router {
        off,         // not asked to map the port (or not listening)
        searching,   // asking the gateway
        forwarded,   // the gateway forwards the port
        failed,      // no gateway answered, or it refused
    };
    enum class Presence {
        off,          // not listening, or presence turned off
        on,           // announced and browsing
        noResponder,  // no mDNS responder (avahi-daemon) on this machine
    };

    Router router = Router::off;
    QString externalAddress;  // the gateway's external address, when known
    QString routerError;      // for failed: the gateway's or the system's text
    Presence presence = Presence::off;

    friend bool operator==(const Reachability&, const Reachability&) = default;
};

}  // namespace vortan
