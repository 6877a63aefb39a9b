#pragma once

#include "vortan/clock.h"
#include "vortan/controlleroptions.h"
#include "vortan/controller/endpoints.h"
#include "vortan/filechanges.h"
#include "vortan/filerow.h"
#include "vortan/controller/ratemeter.h"
#include "vortan/controller/recordlist.h"
#include "vortan/controller/requestwindow.h"
#include "vortan/listener/listenerdelegate.h"
#include "vortan/records/coding.h"
#include "vortan/records/file.h"
#include "vortan/file2.h"
#include "vortan/listenerstate.h"
#include "vortan/reachability.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLockFile;

namespace vortan {

class KeyHelper;
class ConnectionPolicy;
class Listener;
class LocalPresence;
class NetworkWatcher;
class PeerConnection;
class PortMapper;
class SleepInhibitor;

// The engine behind Controller: everything it does, with the internal steps
// and the delegate callbacks of the connection layer that front ends never
// call. Tests reach it through ControllerTestAccess.
//
// The stored files are written at stop(), and about two seconds (saveDelay)
// after a change of the users, the own card, the removed ids, the set of
// records, a record's progress or a finished download, atomically.
class ControllerPrivate : public QObject, public ListenerDelegate {
    Q_OBJECT
public:
    using ListenerState = vortan::ListenerState;

    static constexpr std::uint16_t kDefaultPort = 54322;
    // Requests every download starts with (its request window's floor).
    static constexpr std::int64_t kOutstandingRequests = RequestWindow::kFloor;
    // How often running request windows are checked for a stalled link.
    static constexpr std::chrono::milliseconds kWindowCheckInterval{250};
    // A running download that receives nothing this long although it has
    // asked for blocks has its peer asked for the list again: an offer the
    // peer withdrew is then seen as such. Checked this often.
    static constexpr std::chrono::milliseconds kQuietDownloadTime{20000};
    static constexpr std::chrono::milliseconds kQuietCheckInterval{5000};
    static constexpr std::chrono::milliseconds kPublicationInterval{100};
    static constexpr std::chrono::milliseconds kActivityInterval{60000};
    // The lock file that makes one process own a support directory.
    static constexpr const char* kLockFileName = "brenvo.lock";

    explicit ControllerPrivate(ControllerOptions options);
    ~ControllerPrivate() override;

    ControllerPrivate(const ControllerPrivate&) = delete;
    ControllerPrivate& operator=(const ControllerPrivate&) = delete;

    // ---- Lifecycle (lifecycle.cpp, persistence.cpp)

    // Takes the support directory, reads (or creates) the identity, loads the
    // stored files, settles `me`, then maps the port and listens as asked.
    // When the directory is used by another process or the identity's store
    // cannot be reached, returns the error and does nothing else.
    std::optional<StartError> start(bool listen, bool mapPort);
    // Removes the port mapping (waiting for it) and writes the stored files.
    // Connections, the listener and timers stay: the process is ending.
    void stop();
    // Applies changed settings after start().
    void setSettings(bool listen, bool mapPort);

    bool isStarted() const { return m_started; }
    bool listening() const { return m_listen; }
    bool mappingPort() const { return m_mapPort; }
    const QString& supportDirectory() const { return m_supportDirectory; }
    // The directory DownloadLocation::downloads() resolves to.
    QString downloadsDirectory();

    // Writes the four stored files now (stop() does this too).
    void save();

    // ---- Published state

    const QList<User>& users() const { return m_users; }
    const std::optional<User>& me() const { return m_me; }
    const ListenerState& listenerState() const { return m_listenerState; }
    const Reachability& reachability() const { return m_reachability; }
    // The published catalogue: its rows and their index.
    const QList<FileRow>& fileRows() const { return m_rows; }
    qsizetype fileRow(const QUuid& id) const { return m_rowIndex.value(id, -1); }
    // The working records, ahead of fileRows() by at most one publication.
    const QList<File>& files() const { return m_files.list(); }
    // For each user, the ids of that user's records the local user removed.
    const UuidListsByKey& deletedFileIDs() const { return m_deletedFileIDs; }

    // ---- Connections to peers (peers.cpp).

    void connectTo(const QByteArray& key);
    void disconnectFrom(const QByteArray& key);
    void setConnectAutomatically(bool on);
    bool connectsAutomatically() const;
    void setKeptConnected(const QList<QByteArray>& keys);
    // The machine's network changed (the watcher reports it; tests call it).
    void networkChanged();
    ConnectionPolicy& connectionPolicy() { return *m_policy; }
    // Whether there is work for a connection to this user (see hasWorkFor()).
    bool hasWork(const QByteArray& key) const;
    // Where a user was seen this session: announced on the local network, or
    // the address an authenticated incoming connection of theirs came from
    // (with the card's port). Kept in memory only, never in the user's card;
    // connectTo() tries it before the card's address.
    enum class EndpointSource { presence, incoming };
    void learnEndpoint(const QByteArray& key, const QString& host, std::uint16_t port, EndpointSource source);
    // Ready connections, at most one per user, in the order they became ready.
    const QList<std::shared_ptr<PeerConnection>>& peers() const { return m_peers; }
    // Outgoing connections not ready yet.
    QList<std::shared_ptr<PeerConnection>> connectingPeers() const;
    // The ready connection of a user, if any.
    std::shared_ptr<PeerConnection> peerFor(const QByteArray& key) const;

    // ---- User directory (users.cpp)

    void addUsers(const QList<User>& users);
    // Updates name, address and port of the user of the first entry.
    void editUsers(const QList<User>& users);
    void removeUser(const QByteArray& key);
    // Updates the own name, address and port; listens again on a new port.
    void editMe(const User& card);
    // Deletes the identity key from its store; the next start makes a new one.
    void removeSigningKeys();
    const User* findUser(const QByteArray& key) const;

    // ---- Catalogue (catalogue.cpp)

    // Offers each file to each user (every user once, in the given order).
    void shareFiles(const QList<File2>& files, const QList<QByteArray>& users);
    // Removes the records with these ids and remembers the ids for `user`.
    void removeFiles(const QList<QUuid>& ids, const QByteArray& user);
    const File* findFile(const QUuid& id) const;

    // ---- Transfers (downloads.cpp, sending.cpp)

    void resume(const QList<ResumeItem>& items);
    void pause(const QList<QUuid>& ids);

    // The value a front end sees of a record now (samples its rate).
    FileRow rowOf(const File& file);

    // Whether a record needs no more transfer: every block is there (or sent).
    // An empty download is complete once it has been resumed and its empty
    // file made.
    static bool isComplete(const File& file);

    // ---- This run, for front ends that wait until transfers are done

    PeerRunStatus runStatus(const QByteArray& key) const { return m_runStatus.value(key); }
    // Whether an offer of ours has reached its user: every block has been
    // sent (an empty offer: listed to the user) and the user has disconnected
    // since. A complete offer loaded at start counts as delivered.
    bool offerDelivered(const QUuid& id) const;

    // ---- Internal steps, public for tests

    // Throttled publication of files() into fileRows().
    void update();
    // Publishes at once, cancelling a scheduled publication.
    void publishNow();
    // Called for every want or data message sent: holds the sleep inhibitor.
    void markActivity();
    void checkActivity();
    bool activityHeld() const { return m_activity; }
    bool savePending() const;
    Listener* listener() const { return m_listener.get(); }
    // The request window of a running download: the blocks it keeps
    // requested now, and the most it has kept requested.
    struct WindowSize {
        std::int64_t current = 0;
        std::int64_t largest = 0;
    };
    std::optional<WindowSize> requestWindow(const QUuid& id) const;

    // ListenerDelegate and PeerConnectionDelegate.
    void listenerStateDidChange(const SocketListenerState& state) override;
    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidAuthenticate(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidFailToDecode(MessageType type, const DecodeError& error,
                                       const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer) override;

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
    // The last missing block of this offer has been handed to the kernel.
    void offerSent(const QUuid& id);
    // A download has been completed and moved into place.
    void downloadFinished(const vortan::FileRow& file);
    // A list from this user brought records not known before.
    void filesReceived(const QList<vortan::FileRow>& files, const vortan::User& user);

private:
    // One connection of an attempt to reach a user: its endpoint, the ones
    // still to try when it fails, and the most telling failure so far.
    struct OutgoingPeer {
        std::shared_ptr<PeerConnection> peer;
        QByteArray calledKey;
        Endpoint endpoint;
        QList<Endpoint> rest;
        std::optional<ConnectFailure> failure;
        bool ended = false;  // its failure was handled, or we cancelled it
    };

    // lifecycle.cpp
    KeyHelper& keys();
    void mapListeningPort();
    void startListener();
    enum class PortMappingWait { yes, no };
    void stopPortMapping(PortMappingWait wait);
    Listener& ensureListener();
    void setListenerState(ListenerState state);
    void setRouter(Reachability::Router router, const QString& problem);
    void receivedPublicAddress(const QString& address);

    // presence.cpp
    // Announces while listening, browses while started, follows the users.
    void updatePresence();
    void presenceStateChanged();

    // persistence.cpp
    std::optional<StartError> lockSupportDirectory();
    void load();
    void appendBundledUsers();
    void scheduleSave();
    void noteSaved(const QString& name, const std::optional<QString>& error);
    template <typename T> std::optional<T> loadStored(const QString& name);
    void keepAside(const QString& name, const QString& problem, bool rename);

    // controllerprivate.cpp
    void publish();
    // The rows of every record, reusing the published row of each record
    // that was not edited and is not transferring (whose rate moves).
    void republishAll(FileChanges& changes);
    // The rows of the edited and the transferring records, in place; false
    // (nothing done) when the rows do not line up with the records.
    bool republishChanged(FileChanges& changes);
    void modifyUsers(const std::function<void(QList<User>&)>& change);
    void modifyUser(const QByteArray& key, const std::function<void(User&)>& change);
    void modifyMe(const std::function<void(User&)>& change);
    void refreshAllowedUsers();
    // Records are found by id through an index over m_files, rebuilt on
    // the next lookup after any record was added or removed.
    qsizetype indexOfFile(const QUuid& id) const;
    File* fileWithId(const QUuid& id);
    void filesAddedOrRemoved() { m_fileIndexValid = false; }
    qsizetype indexOfUser(const QByteArray& key) const;

    // peers.cpp
    void noteDisconnected(const QByteArray& key);
    void startAttempt(const QByteArray& key, QList<Endpoint> endpoints, std::optional<ConnectFailure> earlier);
    // An outgoing connection that is not ready ended: tries the attempt's
    // next endpoint, or reports the failure.
    void connectionFailed(qsizetype outgoing, ConnectFailure failure);
    void reportFailure(const QByteArray& key, ConnectFailure failure);
    bool stillConnecting(const QByteArray& key) const;
    bool admit(const std::shared_ptr<PeerConnection>& peer);
    void promote(const std::shared_ptr<PeerConnection>& peer);

    // catalogue.cpp
    // An answer to a list request ends with an empty list message, so that
    // the asking side knows when it has seen every part.
    enum class ListKind { offers, answer };
    std::optional<QString> sendListInParts(PeerConnection& peer, const QList<File>& records, ListKind kind);
    // Marks the user's unfinished downloads that its complete answer left
    // out as unavailable.
    void markWithdrawn(const QByteArray& key, const QSet<QUuid>& listed);
    void forgetRecord(const QUuid& id);

    // downloads.cpp
    void requestBlocks(std::int64_t n, const QUuid& id, PeerConnection& peer);
    void topUpRequests(const QUuid& id, PeerConnection& peer);
    // Tops up after the blocks that arrived in this turn of the event loop:
    // one request for them all instead of one per block.
    void topUpLater(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    void runTopUps();
    QHash<QUuid, std::weak_ptr<PeerConnection>> m_topUps;
    bool m_topUpsScheduled = false;
    bool chooseTarget(qsizetype index, const std::optional<DownloadLocation>& location);
    void checkPartialFile(const QUuid& id);
    void finishDownload(const QUuid& id);

    // requestwindows.cpp
    RequestWindow& windowFor(const QUuid& id, const QByteArray& user);
    void shareConnection(const QByteArray& user);
    void windowAsked(const QUuid& id, const BlockSet& blocks);
    void windowReceived(const QUuid& id, std::int64_t block, std::int64_t bytes);
    void dropWindow(const QUuid& id);
    void dropWindowsOf(const QByteArray& user);
    void checkWindows();
    void checkQuietDownloads();
    void logWindow(const QUuid& id, const RequestWindow& window, const QString& what);

    // sending.cpp
    void startSending(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    void sendNextBlock(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    std::int64_t sendAheadOn(const std::shared_ptr<PeerConnection>& peer) const;
    void blockSent(const std::optional<NetworkError>& error, const QUuid& id, std::int64_t block,
                   const std::weak_ptr<PeerConnection>& peer);

    ControllerOptions m_options;
    std::unique_ptr<KeyHelper> m_ownedKeys;
    KeyHelper* m_keys = nullptr;
    QString m_supportDirectory;
    QString m_downloadsDirectory;
    std::unique_ptr<Clock> m_ownedClock;
    std::unique_ptr<PortMapper> m_ownedPortMapper;
    std::unique_ptr<SleepInhibitor> m_ownedSleepInhibitor;
    Clock& m_clock;
    PortMapper& m_portMapper;
    SleepInhibitor& m_sleepInhibitor;
    std::unique_ptr<QLockFile> m_lock;

    // Lifecycle and settings.
    bool m_started = false;
    bool m_listen = false;
    bool m_mapPort = false;
    bool m_mapRequested = false;  // map_port() was called since the last unmap_port()
    std::uint64_t m_mappingGeneration = 0;  // the current request's answer counts
    std::unique_ptr<Listener> m_listener;
    ListenerState m_listenerState = ListenerState::stopped();
    Reachability m_reachability;
    std::unique_ptr<ConnectionPolicy> m_policy;
    NetworkWatcher* m_networkWatcher = nullptr;
    // Offers listed to their user during this run.
    QSet<QUuid> m_offersListed;
    std::unique_ptr<LocalPresence> m_presence;

    // Connections.
    LearnedEndpoints m_learnedEndpoints;
    QList<OutgoingPeer> m_connectingPeers;
    // Handshake done, but no frame from the peer yet: a replayed handshake
    // record gets this far. Such a connection replaces nothing until its
    // first frame proves it holds the connection key.
    QList<std::shared_ptr<PeerConnection>> m_pendingPeers;
    QList<std::shared_ptr<PeerConnection>> m_peers;

    // Directory and catalogue.
    QList<User> m_users;
    std::optional<User> m_me;
    RecordList m_files;
    mutable QHash<QUuid, qsizetype> m_fileIndex;  // id -> position in m_files
    mutable bool m_fileIndexValid = false;
    // The published rows, one per record in the same order, and their index.
    QList<FileRow> m_rows;
    QHash<QUuid, qsizetype> m_rowIndex;
    // The published rows that are transferring, ascending: rebuilt at every
    // publication for their rate.
    QList<qsizetype> m_transferringRows;
    RateMeter m_rates;
    UuidListsByKey m_deletedFileIDs;

    // Publication throttle.
    std::unique_ptr<Timer> m_publishTimer;
    bool m_armed = false;
    std::optional<Clock::TimePoint> m_lastUpdate;  // absent: the distant past

    // System activity.
    Clock::TimePoint m_activityDate;
    std::unique_ptr<Timer> m_activityTimer;
    bool m_activity = false;

    // Saving.
    std::unique_ptr<Timer> m_saveTimer;
    // The stored files whose last write failed (reported once until one succeeds).
    QSet<QString> m_failedSaves;
    // Stored files that could not be read and were left in place: never written.
    QSet<QString> m_keptStoredFiles;

    // Send loops: the connection each running loop sends on.
    QHash<QUuid, std::weak_ptr<PeerConnection>> m_sendLoops;
    // The blocks of each offer handed to its connection whose completions
    // have not come back yet. Saved as sent: the peer may well have them.
    QHash<QUuid, BlockSet> m_blocksInFlight;
    // Blocks one connection's send loops keep handed to it together: one
    // block at a time costs a turn of the event loop per block before the
    // next is even read, and the link idles meanwhile. Shared evenly by the
    // loops on the connection, at least one each.
    static constexpr std::int64_t kSendAhead = 8;

    // Request windows of the running downloads, by record id, with the user
    // whose connection they measure. In memory only.
    struct DownloadWindow {
        QByteArray user;
        RequestWindow window;
    };
    QHash<QUuid, DownloadWindow> m_windows;
    std::unique_ptr<Timer> m_windowTimer;
    // Quiet downloads: the check, and when each user was last asked for
    // its list because of one.
    std::unique_ptr<Timer> m_quietTimer;
    QHash<QByteArray, Clock::TimePoint> m_quietListRequests;

    // This run.
    QHash<QByteArray, PeerRunStatus> m_runStatus;
    QSet<QUuid> m_offersAwaitingDisconnect;
    QSet<QUuid> m_emptyOffersListed;
    // Connections whose answer to our list request has not ended yet, with
    // the ids its parts named so far.
    struct PendingAnswer {
        std::weak_ptr<PeerConnection> peer;
        QSet<QUuid> named;
    };
    QList<PendingAnswer> m_pendingAnswers;

    // A long list is merged a slice per event-loop turn, so that the user
    // interface and the transfers go on meanwhile. Lists that arrive in the
    // meantime (from anyone) wait behind it: lists merge in arrival order.
    // Slices of 500 entries, as many per turn as fit in 4 ms.
    static constexpr qsizetype kListMergeSlice = 500;
    static constexpr std::chrono::nanoseconds kListMergeTurn = std::chrono::milliseconds(4);
    struct ListMerge {
        std::weak_ptr<PeerConnection> peer;
        QList<File> rest;
        // Refused entries of the whole message so far, logged after its last slice.
        qsizetype refusals = 0;
        qsizetype overLimit = 0;
    };
    QList<ListMerge> m_listMerges;
    bool m_listMergeScheduled = false;
    void mergeListSlice();
    void mergeList(const QList<File>& received, const std::shared_ptr<PeerConnection>& peer, ListMerge& tally,
                   bool last);
};

}  // namespace vortan
