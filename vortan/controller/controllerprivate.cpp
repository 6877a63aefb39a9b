#include "vortan/controller/controller_p.h"

#include "vortan/controller/connectionpolicy.h"
#include "vortan/directories.h"
#include "vortan/controller/sleepinhibitor.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/listener/listener.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/portmapping/portmapper.h"
#include "vortan/portmapping/upnpportmapper.h"
#include "vortan/presence/localpresence.h"


#include <algorithm>

namespace vortan {

namespace {

template <typename T, typename Default> T& borrowOrOwn(T* given, std::unique_ptr<T>& owned)
{
    if (given)
        return *given;
    owned = std::make_unique<Default>();
    return *owned;
}

PortMapper& chosenPortMapper(const ControllerOptions& options, std::unique_ptr<PortMapper>& owned)
{
    if (options.portMapper)
        return *options.portMapper;
    if (options.useGateway)
        return UpnpPortMapper::shared();
    owned = std::make_unique<NullPortMapper>();
    return *owned;
}

SleepInhibitor& chosenSleepInhibitor(const ControllerOptions& options, std::unique_ptr<SleepInhibitor>& owned)
{
    if (options.sleepInhibitor)
        return *options.sleepInhibitor;
    if (options.inhibitSleep)
        owned = std::make_unique<Login1SleepInhibitor>();
    else
        owned = std::make_unique<NullSleepInhibitor>();
    return *owned;
}

}  // namespace

ControllerPrivate::ControllerPrivate(ControllerOptions options)
    : m_options(std::move(options)), m_keys(m_options.keyHelper),
      m_downloadsDirectory(m_options.downloadsDirectory),
      m_clock(borrowOrOwn<Clock, SystemClock>(m_options.clock, m_ownedClock)),
      m_portMapper(chosenPortMapper(m_options, m_ownedPortMapper)),
      m_sleepInhibitor(chosenSleepInhibitor(m_options, m_ownedSleepInhibitor)),
      m_store(m_options.supportDirectory.isEmpty() ? defaultSupportDirectory() : m_options.supportDirectory, m_clock,
              m_options.saveDelay, [this] { save(); }),
      m_files(m_clock),
      m_downloads(m_files, m_clock, {m_options.maxRequestWindow, m_options.maxConnectionWindow},
                  {[this](const QByteArray& user) { return peerFor(user); },
                   [this](const QByteArray& user) { connectTo(user); },
                   [this](const QUuid& id, const std::shared_ptr<PeerConnection>& peer) { m_sending.start(id, peer); },
                   [this] { scheduleSave(); }, [this] { markActivity(); }, [this] { return downloadsDirectory(); },
                   [this](const File& file) { emit downloadFinished(rowOf(file)); },
                   [this](const QByteArray& user) {
                       return m_catalogue.askForListAgain(
                           user, std::chrono::duration_cast<std::chrono::seconds>(kQuietDownloadTime));
                   }}),
      m_sending({[this](const QUuid& id) { return findFile(id); }, [this](const QUuid& id) { return fileWithId(id); },
                 [this] { update(); }, [this] { scheduleSave(); }, [this] { markActivity(); },
                 [this](const QUuid& id) { emit offerSent(id); }}),
      m_peers(m_clock, {[this]() -> KeyHelper& { return keys(); }, this,
                        [this](const QByteArray& key) { return findUser(key); },
                        [this](const QByteArray& key, const std::function<void(User&)>& change) { modifyUser(key, change); },
                        [this] {
                            QList<QByteArray> keys;
                            for (const User& user : std::as_const(m_users))
                                keys.append(user.key);
                            return keys;
                        },
                        [this](const QByteArray& key) { return hasWork(key); },
                        [this](const QByteArray& key) { connectionReplaced(key); },
                        [this](const std::shared_ptr<PeerConnection>& peer) {
                            // Our list request lets the peer prove us in turn.
                            peer->sendListRequest();
                            m_catalogue.askedForList(peer);
                        },
                        [this](const std::shared_ptr<PeerConnection>& peer) { m_catalogue.connectionEnded(peer); },
                        // What their requests measured went with the connection.
                        [this](const QByteArray& key) { m_downloads.windows().dropAllOf(key); }}),
      m_catalogue(m_files, {m_options.listMessageLimit, m_options.maxOffersPerUser},
                  {[this](const QByteArray& key) { return findUser(key); },
                   [this](const QByteArray& key, const std::function<void(User&)>& change) { modifyUser(key, change); },
                   [this](const QByteArray& key) { return peerFor(key); },
                   [this](const std::shared_ptr<PeerConnection>& peer) { return admit(peer); },
                   [this](const QByteArray& key) { m_peers.policy().workAdded(key); },
                   [this](const QUuid& id, PeerConnection& peer) { m_downloads.topUpRequests(id, peer); },
                   [this] { scheduleSave(); },
                   [this](const QUuid& id) {
                       m_sending.forget(id);
                       m_downloads.windows().drop(id);
                   },
                   [this](const QList<File>& added, const User& user) {
                       // A copy: the slots may change the user list.
                       const User sender = user;
                       QList<FileRow> rows;
                       rows.reserve(added.size());
                       for (const File& file : added)
                           rows.append(rowOf(file));
                       emit filesReceived(rows, sender);
                   }}),
      m_activityDate(m_clock.now())
{
    connect(&m_files, &FileTable::willChange, this, &ControllerPrivate::objectWillChange);
    connect(&m_files, &FileTable::published, this, &ControllerPrivate::filesChanged);
    connect(&m_store, &Store::warning, this, &ControllerPrivate::warning);
    connect(&m_catalogue, &Catalogue::listMerged, this, &ControllerPrivate::listReceived);
    connect(&m_peers, &Peers::peerReady, this, &ControllerPrivate::peerReady);
    connect(&m_peers, &Peers::peerDisconnected, this, &ControllerPrivate::peerDisconnected);
}

ControllerPrivate::~ControllerPrivate()
{
    // Nothing reaches this object from here on: connections and the listener
    // hold it weakly.
    expireWeakReferences();
    m_presence.reset();
    if (m_store.pending())
        save();
    m_activityTimer.reset();
    if (m_activity)
        m_sleepInhibitor.release();
    m_peers.shutDown();
    m_listener.reset();
}

QString ControllerPrivate::downloadsDirectory()
{
    if (m_downloadsDirectory.isEmpty())
        m_downloadsDirectory = defaultDownloadsDirectory();
    return m_downloadsDirectory;
}

bool ControllerPrivate::savePending() const
{
    return m_store.pending();
}

// ---- System activity

void ControllerPrivate::markActivity()
{
    m_activityDate = m_clock.now();
    if (!m_activityTimer) {
        m_activityTimer = m_clock.createTimer([this] { checkActivity(); });
        m_activityTimer->startRepeating(kActivityInterval);
    }
    if (!m_activity) {
        m_activity = true;
        m_sleepInhibitor.acquire();
    }
}

void ControllerPrivate::checkActivity()
{
    if (m_activity && m_clock.now() - m_activityDate > kActivityInterval) {
        m_activity = false;
        m_sleepInhibitor.release();
    }
}

// ---- Published users and card

void ControllerPrivate::modifyUsers(const std::function<void(QList<User>&)>& change)
{
    emit objectWillChange();
    const QList<User> before = m_users;
    change(m_users);
    // Each user that came, went or changed, by key.
    QSet<QByteArray> seen;
    for (const User& user : std::as_const(m_users)) {
        seen.insert(user.key);
        const auto old = std::find_if(before.cbegin(), before.cend(), [&](const User& u) { return u.key == user.key; });
        if (old == before.cend() || !(*old == user))
            emit userChanged(user.key);
    }
    for (const User& user : before) {
        if (!seen.contains(user.key))
            emit userChanged(user.key);
    }
    emit usersChanged();
}

void ControllerPrivate::modifyUser(const QByteArray& key, const std::function<void(User&)>& change)
{
    const qsizetype index = indexOfUser(key);
    if (index < 0)
        return;
    modifyUsers([&](QList<User>& users) { change(users[index]); });
}

void ControllerPrivate::modifyMe(const std::function<void(User&)>& change)
{
    if (!m_me)
        return;
    emit objectWillChange();
    change(*m_me);
    emit meChanged();
}

void ControllerPrivate::refreshAllowedUsers()
{
    // Before start() there is no key store yet; start() sets the list.
    if (m_keys)
        m_keys->setAllowedUsers(std::vector<User>(m_users.cbegin(), m_users.cend()));
    updatePresence();
}

qsizetype ControllerPrivate::indexOfUser(const QByteArray& key) const
{
    for (qsizetype i = 0; i < m_users.size(); ++i) {
        if (m_users[i].key == key)
            return i;
    }
    return -1;
}

const User* ControllerPrivate::findUser(const QByteArray& key) const
{
    const qsizetype index = indexOfUser(key);
    return index < 0 ? nullptr : &m_users[index];
}

std::optional<ControllerPrivate::WindowSize> ControllerPrivate::requestWindow(const QUuid& id) const
{
    const RequestWindow* window = m_downloads.windows().find(id);
    if (!window)
        return std::nullopt;
    return WindowSize{window->size(), window->largest()};
}

void ControllerPrivate::peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                                     const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !admit(peer))
        return;
    m_downloads.received(data, block, fileID, peer);
}

void ControllerPrivate::setConnectAutomatically(bool on)
{
    m_peers.policy().setEnabled(on);
}

bool ControllerPrivate::connectsAutomatically() const
{
    return m_peers.policy().enabled();
}

void ControllerPrivate::setKeptConnected(const QList<QByteArray>& keys)
{
    m_peers.policy().setKept(keys);
}

void ControllerPrivate::connectionReplaced(const QByteArray& key)
{
    bool cleared = false;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files[i].user == key && !m_files[i].wantBlocks.empty()) {
            m_files.edit(i).wantBlocks = BlockSet();
            cleared = true;
        }
    }
    if (cleared)
        update();
    m_downloads.windows().dropAllOf(key);
}

void ControllerPrivate::peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer)
{
    m_peers.becameReady(peer);
}

void ControllerPrivate::peerConnectionDidAuthenticate(const std::shared_ptr<PeerConnection>& peer)
{
    if (peer->user())
        admit(peer);
}

void ControllerPrivate::peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer)
{
    m_peers.failed(error, peer);
}

void ControllerPrivate::peerConnectionDidFailToDecode(MessageType, const DecodeError& error,
                                                      const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !admit(peer))
        return;
    const QString message = QString::fromUtf8(error.what());
    modifyUser(*peer->user(), [&](User& u) { u.error = VortanError::other(message); });
}

void ControllerPrivate::peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer)
{
    m_peers.cancelled(peer);
}

void ControllerPrivate::peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                                     const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !admit(peer))
        return;
    // Only our own offers to this very user, with the file they name, and
    // only blocks the file has: nothing else of ours is ever read for a peer.
    const File* record = findFile(fileID);
    if (!record || record->download || !peer->user() || record->user != *peer->user() || !record->location()
        || !blocks.allBelow(record->numberOfBlocks())) {
        logWarning(lcController(), QStringLiteral("no matching file"));
        return;
    }
    fileWithId(fileID)->wantBlocks.unite(blocks);
    update();
    m_sending.start(fileID, peer);
}

void ControllerPrivate::peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !admit(peer))
        return;
    m_catalogue.listRequested(peer);
}

void ControllerPrivate::peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer)
{
    m_catalogue.listReceived(files, peer);
}

}  // namespace vortan
