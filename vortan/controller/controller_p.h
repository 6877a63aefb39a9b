#pragma once

#include "vortan/controller/activityhold.h"
#include "vortan/controller/catalogue.h"
#include "vortan/controller/connectionevents.h"
#include "vortan/controller/connectionpolicy.h"
#include "vortan/controller/controllerseams.h"
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
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class TorService;

class KeyHelper;
class Listener;
class PeerConnection;
class PortMapper;
class SleepInhibitor;

// The engine behind Controller: it owns the collaborators, one concern each
// (Store, UserDirectory, FileTable, Catalogue, Peers, Downloads, SendLoops,
// Listening), wires them together and keeps the lifecycle and the hold on
// the machine's sleep itself. It receives the connection layer's delegate
// calls and hands each to its collaborator. Tests reach it through
// ControllerTestAccess.
//
// The stored files are written at stop(), and about two seconds (saveDelay)
// after a change of the users, the own card, the removed ids, the set of
// records, a record's progress or a finished download, atomically.
class ControllerPrivate : public QObject {
    Q_OBJECT
public:
    using ListenerState = vortan::ListenerState;

    static constexpr std::uint16_t kDefaultPort = 54322;
    // Requests every download starts with (its request window's floor).
    static constexpr std::int64_t kOutstandingRequests = RequestWindow::kFloor;
    // A running download that receives nothing this long although it has
    // asked for blocks has its peer asked for the list again: an offer the
    // peer withdrew is then seen as such. Checked this often.
    static constexpr std::chrono::milliseconds kQuietDownloadTime = DownloadWindows::kQuietDownloadTime;

    explicit ControllerPrivate(ControllerOptions options, ControllerSeams seams = {});
    ~ControllerPrivate() override;

    ControllerPrivate(const ControllerPrivate&) = delete;
    ControllerPrivate& operator=(const ControllerPrivate&) = delete;

    // ---- Lifecycle (lifecycle.cpp; the stored files: Store)

    // Takes the support directory, reads (or creates) the identity, loads the
    // stored files, settles `me`, then maps the port and listens as asked.
    // When the directory is used by another process or the identity's store
    // cannot be reached, returns the error and does nothing else.
    std::optional<StartError> start(bool listen, bool mapPort);
    // Removes the port mapping (waiting for it, at most kGatewayWaitAtStop)
    // and writes the stored files.
    // Connections, the listener and timers stay: the process is ending.
    void stop();
    // Applies changed settings after start().
    void setSettings(bool listen, bool mapPort);
    // Turns the path through Tor on or off (torpath.cpp).
    void setTorEnabled(bool on);
    bool torEnabled() const { return m_options.useTor; }

    bool isStarted() const { return m_started; }
    bool listening() const { return m_listening.listening(); }
    bool mappingPort() const { return m_listening.mappingPort(); }
    const QString& supportDirectory() const { return m_store.directory(); }
    // The directory DownloadLocation::downloads() resolves to.
    QString downloadsDirectory();

    // Writes the four stored files now (stop() does this too).
    void save();

    // ---- Published state

    const QList<User>& users() const { return m_directory.users(); }
    const std::optional<User>& me() const { return m_directory.me(); }
    const ListenerState& listenerState() const { return m_listening.state(); }
    Reachability reachability() const;
    // The published catalogue: its rows and their index.
    const QList<FileRow>& fileRows() const { return m_files.rows(); }
    qsizetype fileRow(const QUuid& id) const { return m_files.row(id); }
    // For each user, the ids of that user's records the local user removed.
    const UuidListsByKey& deletedFileIDs() const { return m_catalogue.deletedFileIDs(); }

    // ---- Connections to peers (Peers).

    void connectTo(const QByteArray& key) { m_peers.connectTo(key); }
    void disconnectFrom(const QByteArray& key) { m_peers.disconnectFrom(key); }
    void setConnectAutomatically(bool on) { m_peers.policy().setEnabled(on); }
    bool connectsAutomatically() const { return m_peers.policy().enabled(); }
    void setKeptConnected(const QList<QByteArray>& keys) { m_peers.policy().setKept(keys); }
    // The machine's network changed (the watcher reports it; tests call it).
    void networkChanged() { m_peers.networkChanged(); }
    ConnectionPolicy& connectionPolicy() { return m_peers.policy(); }
    // Whether there is work for a connection to this user (see isWorkFor()).
    bool hasWork(const QByteArray& key) const { return m_catalogue.hasWork(key); }
    bool offersHeldBack(const QByteArray& key) const { return m_catalogue.offersHeldBack(key); }
    using EndpointSource = Peers::EndpointSource;
    void learnEndpoint(const QByteArray& key, const QString& host, std::uint16_t port, EndpointSource source)
    {
        m_peers.learnEndpoint(key, host, port, source);
    }
    // Ready connections, at most one per user, in the order they became ready.
    const QList<std::shared_ptr<PeerConnection>>& peers() const { return m_peers.ready(); }
    // Outgoing connections not ready yet.
    QList<std::shared_ptr<PeerConnection>> connectingPeers() const { return m_peers.connecting(); }
    // Handshakes done, waiting for the peer's first frame.
    const QList<std::shared_ptr<PeerConnection>>& pendingPeers() const { return m_peers.pending(); }
    // The ready connection of a user, if any.
    std::shared_ptr<PeerConnection> peerFor(const QByteArray& key) const { return m_peers.peerFor(key); }

    // ---- User directory (UserDirectory; users.cpp)

    void addUsers(const QList<User>& users);
    // Updates name, address and port of the user of the first entry.
    void editUsers(const QList<User>& users);
    void removeUser(const QByteArray& key);
    // Updates the own name, address and port; listens again on a new port.
    void editMe(const User& card);
    // Deletes the identity key from its store; the next start makes a new one.
    void removeSigningKeys();
    const User* findUser(const QByteArray& key) const { return m_directory.find(key); }
    void modifyUser(const QByteArray& key, const std::function<void(User&)>& change)
    {
        m_directory.modifyUser(key, change);
    }

    // ---- Catalogue (Catalogue, FileTable)

    // Offers each file to each user (every user once, in the given order).
    void shareFiles(const QList<File2>& files, const QList<QByteArray>& users) { m_catalogue.shareFiles(files, users); }
    // Removes the records with these ids and remembers the ids for `user`.
    void removeFiles(const QList<QUuid>& ids, const QByteArray& user) { m_catalogue.removeFiles(ids, user); }
    const File* findFile(const QUuid& id) const { return m_files.find(id); }

    // ---- Transfers (Downloads, SendLoops)

    void resume(const QList<ResumeItem>& items) { m_downloads.resume(items); }
    void pause(const QList<QUuid>& ids) { m_downloads.pause(ids); }

    // The value a front end sees of a record now (samples its rate).
    FileRow rowOf(const File& file) { return m_files.rowOf(file); }

    // ---- Internal steps, public for tests

    // Every working record (ahead of fileRows() by at most one publication), copied.
    QList<File> files() const { return QList<File>(m_files.begin(), m_files.end()); }
    // Throttled publication of the records into fileRows().
    void update() { m_files.update(); }
    // Publishes at once, cancelling a scheduled publication.
    void publishNow() { m_files.publishNow(); }
    // Called for every want or data message sent: holds the sleep inhibitor.
    void markActivity() { m_activity.mark(); }
    bool activityHeld() const { return m_activity.held(); }
    bool savePending() const { return m_store.pending(); }
    Listener* listener() const { return m_listening.listener(); }
    // The request window of a running download, if any.
    const RequestWindow* requestWindow(const QUuid& id) const { return m_downloads.windows().find(id); }
    const SendLoops& sendLoops() const { return m_sending; }

    // What the listener and the connections report goes through here.
    ConnectionEvents& events() { return m_events; }

signals:
    // Before every change of users, me, listenerState or the file rows.
    void objectWillChange();
    void usersChanged();
    void userChanged(const QByteArray& key);
    void meChanged();
    void listenerStateChanged();
    void reachabilityChanged();
    // fileRows() has just been replaced.
    void filesChanged(const vortan::FileChanges& changes);
    void warning(const QString& message);

    // A connection of this user became ready (it is now connected).
    void peerReady(const QByteArray& key);
    // A list from this user has been merged.
    void listReceived(const QByteArray& key);
    // The user has no connection left (after having been connected).
    void peerDisconnected(const QByteArray& key);
    void strangerRefused(const QByteArray& key);
    // The last missing block of this offer has reached the peer (its TCP
    // acknowledged it).
    void offerSent(const QUuid& id);
    // A download has been completed and moved into place.
    void downloadFinished(const vortan::FileRow& file);
    // See Controller::offersRefused().
    void offersRefused(const QByteArray& key, qsizetype count);
    // A list from this user brought records not known before.
    void filesReceived(const QList<vortan::FileRow>& files, const vortan::User& user);

private:
    // lifecycle.cpp
    KeyHelper& keys();
    void load();
    // A scheduled save: encoded and written on the store's writer thread.
    void saveInBackground();
    Store::State storedState() const;
    void appendBundledUsers();
    void scheduleSave() { m_store.schedule(); }
    // The router told the address others see: the card takes it if it has none.
    void receivedPublicAddress(const QString& address);

    // users.cpp
    void refreshAllowedUsers();
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
    ConnectionEvents m_events;
};

}  // namespace vortan
