#pragma once

#include "vortan/keystorechoice.h"
#include "vortan/downloadlocation.h"

#include <QString>
#include <QUuid>

#include <chrono>
#include <optional>

namespace vortan {

// How a Controller is set up.
struct ControllerOptions {
    // Holds the stored files and the lock; empty: defaultSupportDirectory().
    QString supportDirectory;
    // Where the identity key is kept; the store is opened by start().
    KeyStoreChoice keyStore = KeyStoreChoice::automatic;
    // Whether the controller may talk to the local Internet gateway (UPnP or NAT-PMP).
    // Off, nothing at all is sent to it.
    bool useGateway = false;
    // Whether to keep the machine from idle sleep while transfers run (the
    // login manager's inhibitor; without a system bus nothing happens).
    bool inhibitSleep = true;
    // Whether to follow the machine's network: a change makes automatic
    // connection call again at once.
    bool watchNetwork = true;
    // Whether to announce this instance on the local network and look for
    // known users there (mDNS through avahi-daemon on the system bus). Off,
    // the responder is never asked.
    bool usePresence = false;
    // Whether to reach people (and be reached by them) through Tor: a tor of
    // our own, or the one at torControlSocket. Off, tor is never started.
    bool useTor = false;
    // Whether a contact connected through Tor is told our direct endpoints
    // and called at theirs, so that a direct connection can take over. It
    // shows our addresses to the contact. Off, none are sent or used.
    bool useDirectPath = true;
    // An already running tor's control socket; empty: start our own.
    QString torControlSocket;
    // Lines added to the torrc of our own tor (a private network, bridges).
    QString torExtraConfig;

    // Users added at every start; absent: defaultBundledUsersPath(); an empty
    // string: none.
    std::optional<QString> bundledUsersPath;
    // Where DownloadLocation::downloads() puts files; empty:
    // defaultDownloadsDirectory(), looked up on first use.
    QString downloadsDirectory;
    // How long after a change the stored files are written.
    std::chrono::milliseconds saveDelay{2000};
    // The largest encoded list message; longer lists go out as several.
    qsizetype listMessageLimit = 16 * 1024 * 1024;
    // The most blocks one download keeps requested (its request window's
    // cap), and the most all downloads from one user keep requested together
    // (they share it evenly). Below the cap the window follows the measured
    // link (twice its rate times its round trip), so the cap is only a
    // ceiling: 1024 blocks are 128 MiB, twice what 1 Gbit/s carries in a
    // 500 ms round trip or 2.5 Gbit/s in 200 ms. Requests cost no memory
    // that grows with them: the receiver writes every block straight to disk
    // and reads only what its kernel holds, the sender keeps one block of a
    // record in flight and its wants as runs of numbers. A larger window
    // only adds queueing on a link it overestimates, and data still arriving
    // after a pause.
    // 5 pins every download at five, as a peer without a growing window.
    std::int64_t maxRequestWindow = 1024;
    std::int64_t maxConnectionWindow = 2048;
    // The most unfinished downloads one user may have offered us; new list
    // entries beyond it are refused (Controller::offersRefused()).
    qsizetype maxOffersPerUser = 10000;
};

// Why start() did not start. message() names what failed, for the user.
class StartError {
public:
    enum class Kind {
        supportDirectoryLocked,    // another process uses the support directory
        supportDirectoryUnusable,  // it cannot be created or locked
        keyStoreUnavailable,       // the identity key cannot be read or created
    };

    StartError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}
    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

// One record to resume, and where it goes when it is a download without a
// location yet (absent: the downloads directory).
struct ResumeItem {
    QUuid id;
    std::optional<DownloadLocation> location;
};

}  // namespace vortan
