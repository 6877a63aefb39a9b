#pragma once

#include "cli/arguments.h"
#include "vortan/keystorechoice.h"

#include <QString>

#include <functional>
#include <memory>

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo::cli {

// One controller over the support directory of the command line, with the
// identity's key store chosen there.
class Session {
public:
    enum class Kind {
        oneShot,    // loads, acts, saves: no gateway, no sleep inhibitor
        transfers,  // runs transfers: holds the system's sleep inhibitor while they move
    };

    // useGateway: the controller may talk UPnP or NAT-PMP to the local gateway.
    // connectReports: called with the new controller before it starts, to
    // connect to its signals.
    Session(const GlobalOptions& options, Kind kind, bool useGateway = false,
            std::function<void(vortan::Controller&)> connectReports = {});
    ~Session();

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the key store and starts the controller. Throws CliError (status
    // 1) with the reason when the directory is used by another process or the
    // identity cannot be read.
    // Only a transfers session connects automatically (unless told not to).
    void start(bool listen, bool mapPort, bool connectAutomatically = true);

    // The path through Tor, set before start(): off, or our own tor (with
    // extra torrc lines) or the one at controlSocket.
    struct Tor {
        bool on = false;
        QString controlSocket;
        QString extraTorrc;
        // A direct connection may take over from one through Tor.
        bool direct = true;
    };
    void setTor(Tor tor) { m_tor = std::move(tor); }

    // Writes the stored files now.
    void save();
    // Removes the port mapping and writes the stored files.
    void stop();

    vortan::Controller& controller() { return *m_controller; }
    const QString& supportDirectory() const { return m_supportDirectory; }

private:
    QString m_supportDirectory;
    vortan::KeyStoreChoice m_keyStore;
    Kind m_kind;
    bool m_useGateway;
    std::function<void(vortan::Controller&)> m_connectReports;
    Tor m_tor;
    std::unique_ptr<vortan::Controller> m_controller;
};

// Lets the event loop deliver what closing connections leaves behind (their
// cancellations and deferred deletions), for a short bounded time, so that
// the process ends with nothing in flight.
void drainEvents();

}  // namespace brenvo::cli
