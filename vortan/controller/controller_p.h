#pragma once

#include "vortan/controller/activityhold.h"
#include "vortan/controller/catalogue.h"
#include "vortan/controller/connectionevents.h"
#include "vortan/controller/connectionpolicy.h"
#include "vortan/controller/controllerseams.h"
#include "vortan/controller/directpath.h"
#include "vortan/controller/downloads.h"
#include "vortan/controller/filetable.h"
#include "vortan/controller/listening.h"
#include "vortan/controller/peers.h"
#include "vortan/controller/sendloops.h"
#include "vortan/controller/store.h"
#include "vortan/controller/userdirectory.h"
#include "vortan/controlleroptions.h"
#include "vortan/file2.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>

namespace vortan {

class TorService;

class KeyHelper;
class Listener;
class PeerConnection;
class PortMapper;
class SleepInhibitor;

// The engine behind Controller: it owns the collaborators, one concern each,
// builds them and wires them together, and keeps the lifecycle (start, stop,
// saving, the path through Tor) and the changes of the users that reach
// several of them. Controller calls the collaborators and connects to their
// signals itself; tests reach them through ControllerTestAccess.
//
//   Store          the stored files, their writer thread and the save timer
//   UserDirectory  the users and the own card
//   FileTable      the working records and their published rows
//   Catalogue      offers and lists exchanged with peers
//   Downloads      resuming, asking for and writing blocks (with DownloadWindows)
//   SendLoops      serving the blocks of our offers
//   Peers          connections to peers and the ConnectionPolicy that calls them
//   Listening      the listener, the port mapping and the local presence
//   ActivityHold   the hold on the machine's sleep while transfers run
//   DirectPath     from a connection through Tor to a direct one
//   ConnectionEvents  the listener's and the connections' reports, handed on
//
// Each collaborator is given what it needs of the others as an Engine of
// named slots (see controllerprivate.cpp), filled with designated
// initializers.
//
// The stored files are written at stop(), and about two seconds (saveDelay)
// after a change of the users, the own card, the removed ids, the set of
// records, a record's progress or a finished download, atomically.
class ControllerPrivate : public QObject {
    Q_OBJECT
public:
    static constexpr std::uint16_t kDefaultPort = 54322;

    explicit ControllerPrivate(ControllerOptions options, ControllerSeams seams = {});
    ~ControllerPrivate() override;

    ControllerPrivate(const ControllerPrivate&) = delete;
    ControllerPrivate& operator=(const ControllerPrivate&) = delete;

    // ---- Lifecycle (lifecycle.cpp)

    // Takes the support directory, reads (or creates) the identity, loads the
    // stored files, settles `me`, then maps the port and listens as asked.
    // When the directory is used by another process or the identity's store
    // cannot be reached, returns the error and does nothing else.
    std::optional<StartError> start(bool listen, bool mapPort);
    // Removes the port mapping (waiting for it, at most kGatewayWaitAtStop),
    // stops tor and writes the stored files, after the writer thread is done
    // with any earlier write. Connections, the listener and timers stay: the
    // process is ending.
    void stop();
    // Applies changed settings after start().
    void setSettings(bool listen, bool mapPort);
    // Turns the path through Tor on or off (torpath.cpp).
    void setTorEnabled(bool on);
    bool torEnabled() const { return m_options.useTor; }
    bool isStarted() const { return m_started; }
    // The directory DownloadLocation::downloads() resolves to.
    QString downloadsDirectory();
    // Writes the four stored files now (stop() does this too).
    void save();
    // The listening's reachability with the state of the path through Tor.
    Reachability reachability() const;

    // ---- Changes of the users that reach several collaborators (users.cpp)

    void addUsers(const QList<User>& users);
    // Updates name, address and port of the user of the first entry.
    void editUsers(const QList<User>& users);
    void removeUser(const QByteArray& key);
    // Updates the own name, address and port; listens again on a new port.
    void editMe(const User& card);
    // Deletes the identity key from its store; the next start makes a new one.
    void removeSigningKeys();

    // ---- The collaborators

    Store& store() { return m_store; }
    UserDirectory& directory() { return m_directory; }
    const UserDirectory& directory() const { return m_directory; }
    FileTable& files() { return m_files; }
    const FileTable& files() const { return m_files; }
    Catalogue& catalogue() { return m_catalogue; }
    const Catalogue& catalogue() const { return m_catalogue; }
    Downloads& downloads() { return m_downloads; }
    SendLoops& sending() { return m_sending; }
    Peers& peers() { return m_peers; }
    const Peers& peers() const { return m_peers; }
    Listening& listening() { return m_listening; }
    const Listening& listening() const { return m_listening; }
    ActivityHold& activity() { return m_activity; }
    DirectPath& directPath() { return m_directPath; }
    void setDirectPathEnabled(bool on) { m_options.useDirectPath = on; }
    bool directPathEnabled() const { return m_options.useDirectPath; }
    // What the listener and the connections report goes through here.
    ConnectionEvents& events() { return m_events; }

signals:
    // The path through Tor changed (the listening reports the rest of the
    // reachability itself).
    void reachabilityChanged();
    // Reports the download engine and the send loops make through their
    // Engine slots; see Controller's signals of the same names.
    void offerSent(const QUuid& id);
    void downloadFinished(const vortan::FileRow& file);

private:
    // lifecycle.cpp
    KeyHelper& keys();
    void load();
    // A scheduled save: encoded and written on the store's writer thread.
    void saveInBackground();
    Store::State storedState() const;
    void appendBundledUsers();
    // The router told the address others see: the card takes it if it has none.
    void receivedPublicAddress(const QString& address);

    // users.cpp
    void refreshAllowedUsers();

    // torpath.cpp
    void startTor();
    void updateTorContacts();
    std::optional<Peers::OnionRoute> onionRoute(const QByteArray& key) const;

    ControllerOptions m_options;
    std::unique_ptr<KeyHelper> m_ownedKeys;
    KeyHelper* m_keys = nullptr;
    QString m_downloadsDirectory;
    std::unique_ptr<Clock> m_ownedClock;
    std::unique_ptr<PortMapper> m_ownedPortMapper;
    std::unique_ptr<SleepInhibitor> m_ownedSleepInhibitor;
    Clock& m_clock;
    PortMapper& m_portMapper;
    SleepInhibitor& m_sleepInhibitor;
    Store m_store;
    UserDirectory m_directory;
    FileTable m_files;
    Downloads m_downloads;
    SendLoops m_sending;
    Peers m_peers;
    Catalogue m_catalogue;
    Listening m_listening;
    // The path through Tor, while on and started (torpath.cpp).
    std::unique_ptr<TorService> m_tor;
    bool m_started = false;
    ActivityHold m_activity;
    DirectPath m_directPath;
    ConnectionEvents m_events;
};

}  // namespace vortan
