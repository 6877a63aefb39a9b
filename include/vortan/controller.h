#pragma once

#include "vortan/controlleroptions.h"
#include "vortan/filechanges.h"
#include "vortan/filerow.h"
#include "vortan/downloadlocation.h"
#include "vortan/file2.h"
#include "vortan/listenerstate.h"
#include "vortan/reachability.h"
#include "vortan/user.h"
#include "vortan/vortan_export.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <optional>

namespace vortan {

class ControllerPrivate;

// The library's one public object: the user directory, the connections to
// peers, the catalogue of transfers and the engine that moves the blocks,
// with their stored state in the support directory.
//
// Everything runs on the main thread, and no call waits on the network or
// the gateway except stop(). Create it, start() it once, call setSettings()
// when the settings change and stop() at the end. Until start() there is no
// `me` and nothing is loaded.
//
// Reading: users(), me(), listenerState() (each with a change signal), and
// fileRows(), the catalogue published at most every 0.1 s, with
// filesChanged() naming the rows each publication inserted, removed and
// updated.
//
// Reports come as signals, on the main thread, from inside the call or event
// that caused them: a slot may call back into the controller.
//
// The stored files are written at stop(), and about two seconds after a
// change of the users, the own card, the removed ids, the set of records, a
// record's progress or a finished download, atomically. A write that fails
// is reported once through warning() and tried again at the next change.
class VORTAN_EXPORT Controller : public QObject {
    Q_OBJECT
public:
    using ListenerState = vortan::ListenerState;

    static constexpr std::uint16_t kDefaultPort = 54322;
    // The lock file that makes one process own a support directory.
    static constexpr const char* kLockFileName = "brenvo.lock";

    explicit Controller(ControllerOptions options = {}, QObject* parent = nullptr);
    ~Controller() override;

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // ---- Lifecycle

    // Takes the support directory, opens the identity's key store and reads
    // (or creates) the identity, loads the stored files, settles `me`, then
    // maps the port and listens as asked. When the directory is used by
    // another process or the identity's store cannot be reached, returns the
    // error and does nothing else. Either way it reports before it returns:
    // started() or startFailed().
    std::optional<StartError> start(bool listen, bool mapPort);
    // Removes the port mapping (waiting for the gateway) and writes the
    // stored files. Connections, the listener and timers stay: the process is
    // ending.
    void stop();
    // Applies changed settings after start(). Returns at once: a mapping to
    // remove is removed in the background.
    void setSettings(bool listen, bool mapPort);
    // Reaching people (and being reached) through Tor, on or off; how far
    // it is comes with reachability().
    void setTorEnabled(bool on);
    bool torEnabled() const;
    // Telling contacts connected through Tor our direct endpoints and
    // calling theirs (ControllerOptions::useDirectPath), on or off.
    void setDirectPathEnabled(bool on);
    bool directPathEnabled() const;
    // Whether a tor program is installed (without it the path through Tor
    // cannot be turned on).
    static bool torInstalled();
    // Writes the stored files now.
    void save();

    bool isStarted() const;
    bool listening() const;
    bool mappingPort() const;
    QString supportDirectory() const;
    // The directory DownloadLocation::downloads() resolves to.
    QString downloadsDirectory();

    // ---- Published state
    //
    // Single values come as copies. The two lists come as references to the
    // controller's own lists: the list objects live as long as the
    // controller, but their contents change with the next call into it or
    // turn of the event loop, and so do references to their elements. Copy
    // what you keep (a QList copy shares its data until one side changes),
    // and loop over a copy when the loop calls into the controller.

    const QList<User>& users() const;
    std::optional<User> me() const;
    ListenerState listenerState() const;
    // The user with this key, if known.
    std::optional<User> user(const QByteArray& key) const;
    // Whether offers of this user refused for the limit (offersRefused())
    // are still to come in.
    bool offersHeldBack(const QByteArray& key) const;
    // The router's forwarding and the presence on the local network.
    Reachability reachability() const;

    // The catalogue as last published, in a stable order: records keep their
    // relative order, new ones come last.
    const QList<FileRow>& fileRows() const;
    // The row of a record in fileRows(), or -1; constant time.
    qsizetype fileRow(const QUuid& id) const;
    // The published row of a record, if any; constant time.
    std::optional<FileRow> file(const QUuid& id) const;
    // Publishes the catalogue now instead of within the next 0.1 s, for a
    // front end that reads the rows right after a change.
    void publishNow();

    // ---- Connections to peers

    void connectTo(const QByteArray& key);
    void disconnectFrom(const QByteArray& key);
    // Whether users with work for a connection are connected without a
    // call of connectTo() (on by default). A user disconnected through
    // disconnectFrom() stays disconnected until connectTo().
    void setConnectAutomatically(bool on);
    bool connectsAutomatically() const;
    // Users called, and called again after failures, even with nothing to
    // transfer and while automatic connection is off (disconnectFrom()
    // still holds them).
    void setKeptConnected(const QList<QByteArray>& keys);

    // ---- User directory

    void addUsers(const QList<User>& users);
    // Updates name, address and port of the user of the first entry.
    void editUsers(const QList<User>& users);
    void removeUser(const QByteArray& key);
    // Updates the own name, address and port; listens again on a new port.
    void editMe(const User& card);
    // Deletes the identity key from its store; the next start makes a new one.
    void removeSigningKeys();

    // ---- Catalogue and transfers

    // Offers each file to each user (every user once, in the given order).
    void shareFiles(const QList<File2>& files, const QList<QByteArray>& users);
    // Removes the records with these ids and remembers the ids for `user`.
    void removeFiles(const QList<QUuid>& ids, const QByteArray& user);
    void resume(const QList<ResumeItem>& items);
    void pause(const QList<QUuid>& ids);

signals:
    // start() has started the controller, or could not.
    void started();
    void startFailed(const vortan::StartError& error);

    // The user list changed; userChanged() names each user first.
    void usersChanged();
    // A user was added, removed or changed (its key).
    void userChanged(const QByteArray& key);
    void meChanged();
    void listenerStateChanged();
    void reachabilityChanged();
    // fileRows() has just been replaced.
    void filesChanged(const vortan::FileChanges& changes);

    // A connection of this user became ready (it is now connected).
    void peerReady(const QByteArray& key);
    // A list from this user has been merged.
    void listReceived(const QByteArray& key);
    // The user has no connection left (after having been connected).
    void peerDisconnected(const QByteArray& key);
    // Someone who is not among the users called with this signing key and
    // was refused. Told once per key and run, for a few keys at most; the
    // record they sent may be a replay of that key's.
    void strangerRefused(const QByteArray& key);
    // The last missing block of this offer has reached the peer (its TCP
    // acknowledged it).
    void offerSent(const QUuid& id);
    // A download has been completed and moved to its location; the row is
    // already published.
    void downloadFinished(const vortan::FileRow& file);
    // A list from this user brought records not known before; their rows are
    // already published.
    void filesReceived(const QList<vortan::FileRow>& files, const vortan::User& user);
    // This user offered `count` more files than are kept unfinished from one
    // user (ControllerOptions::maxOffersPerUser): they were not added. They
    // come in a later list, asked for once downloads have made room.
    void offersRefused(const QByteArray& key, qsizetype count);
    // Something the user should know went wrong in the background: a stored
    // file could not be written or read. Each failure is reported once,
    // before the same text is logged as a warning.
    void warning(const QString& message);

private:
    friend class ControllerTestAccess;
    Controller(std::unique_ptr<ControllerPrivate> engine, QObject* parent);

    std::unique_ptr<ControllerPrivate> d;
};

}  // namespace vortan
