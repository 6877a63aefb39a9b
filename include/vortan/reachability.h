#pragma once

#include <QString>

namespace vortan {

// How others can reach this instance, beyond the listener's own state: the
// router's port forwarding, the presence on the local network and Tor.
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
    // The path over the internet through Tor.
    enum class Tor {
        off,           // turned off
        notInstalled,  // no tor program on this machine
        starting,      // tor is starting or joining the network
        ready,         // contacts can be reached and can reach us
        failed,        // an already running tor cannot be used
    };
    Tor tor = Tor::off;
    int torProgress = 0;  // starting: how far tor has joined the network, in percent
    QString torError;     // starting or failed: what went wrong last

    friend bool operator==(const Reachability&, const Reachability&) = default;
};

}  // namespace vortan
