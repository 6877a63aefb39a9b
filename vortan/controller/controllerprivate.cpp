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
#include "vortan/tor/torservice.h"


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

PortMapper& chosenPortMapper(const ControllerOptions& options, PortMapper* given, std::unique_ptr<PortMapper>& owned)
{
    if (given)
        return *given;
    if (options.useGateway)
        return UpnpPortMapper::shared();
    owned = std::make_unique<NullPortMapper>();
    return *owned;
}

SleepInhibitor& chosenSleepInhibitor(const ControllerOptions& options, SleepInhibitor* given,
                                     std::unique_ptr<SleepInhibitor>& owned)
{
    if (given)
        return *given;
    if (options.inhibitSleep)
        owned = std::make_unique<Login1SleepInhibitor>();
    else
        owned = std::make_unique<NullSleepInhibitor>();
    return *owned;
}

}  // namespace

ControllerPrivate::ControllerPrivate(ControllerOptions options, ControllerSeams seams)
    : m_options(std::move(options)), m_keys(seams.keyHelper),
      m_downloadsDirectory(m_options.downloadsDirectory),
      m_clock(borrowOrOwn<Clock, SystemClock>(seams.clock, m_ownedClock)),
      m_portMapper(chosenPortMapper(m_options, seams.portMapper, m_ownedPortMapper)),
      m_sleepInhibitor(chosenSleepInhibitor(m_options, seams.sleepInhibitor, m_ownedSleepInhibitor)),
      m_store(m_options.supportDirectory.isEmpty() ? defaultSupportDirectory() : m_options.supportDirectory, m_clock,
              m_options.saveDelay, [this] { saveInBackground(); }),
      m_files(m_clock),
      m_downloads(m_files, m_clock, {m_options.maxRequestWindow, m_options.maxConnectionWindow},
                  {[this](const QByteArray& user) { return peerFor(user); },
                   [this](const QByteArray& user) { connectTo(user); },
                   [this](const QUuid& id, const std::shared_ptr<PeerConnection>& peer) { m_sending.start(id, peer); },
                   [this] { scheduleSave(); }, [this] { markActivity(); }, [this] { return downloadsDirectory(); },
                   [this](const File& file) {
                       m_catalogue.downloadFinished(file.user);
                       emit downloadFinished(rowOf(file));
                   },
                   [this](const QByteArray& user) {
                       return m_catalogue.askForListAgain(
                           user, std::chrono::duration_cast<std::chrono::seconds>(kQuietDownloadTime));
                   },
                   [this](const QByteArray& user) { m_catalogue.askWhetherSenderIsDone(user); },
                   [this](const QByteArray& user) { return m_peers.linkAlive(user); }}),
      m_sending({[this](const QUuid& id) { return findFile(id); }, [this](const QUuid& id) { return m_files.edit(id); },
                 [this] { update(); }, [this] { scheduleSave(); }, [this] { markActivity(); },
                 [this](const QUuid& id) { emit offerSent(id); }}),
      m_peers(m_clock, {[this]() -> KeyHelper& { return keys(); }, &m_events,
                        [this](const QByteArray& key) { return findUser(key); },
                        [this](const QByteArray& key, const std::function<void(User&)>& change) { modifyUser(key, change); },
                        [this] { return m_directory.keys(); },
                        [this](const QByteArray& key) { return hasWork(key); },
                        [this](const QByteArray& key) { m_downloads.forgetRequests(key); },
                        [this](const std::shared_ptr<PeerConnection>& peer) {
                            // Our list request lets the peer prove us in turn.
                            peer->sendListRequest();
                            m_catalogue.askedForList(peer);
                        },
                        [this](const std::shared_ptr<PeerConnection>& peer) { m_catalogue.connectionEnded(peer); },
                        // What their requests measured went with the connection.
                        [this](const QByteArray& key) { m_downloads.windows().dropAllOf(key); },
                        [this](const QByteArray& key) { return onionRoute(key); },
                        [this] {
                            if (m_tor)
                                m_tor->connectionWorked();
                        }}),
      m_catalogue(m_files, {m_options.listMessageLimit, m_options.maxOffersPerUser},
                  {[this](const QByteArray& key) { return findUser(key); },
                   [this](const QByteArray& key, const std::function<void(User&)>& change) { modifyUser(key, change); },
                   [this](const QByteArray& key) { return peerFor(key); },
                   [this](const std::shared_ptr<PeerConnection>& peer) { return m_peers.admit(peer); },
                   [this](const QByteArray& key) { m_peers.policy().workAdded(key); },
                   [this](const QUuid& id, PeerConnection& peer) { m_downloads.topUpRequests(id, peer); },
                   [this](const QUuid& id, PeerConnection& peer) { m_downloads.remindSender(id, peer); },
                   [this] { scheduleSave(); },
                   [this](const QUuid& id) {
                       m_sending.forget(id);
                       m_downloads.forget(id);
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
      m_listening(m_clock, m_portMapper, m_options.usePresence,
                  {[this]() -> KeyHelper& { return keys(); }, &m_events,
                   [this]() -> const std::optional<User>& { return m_directory.me(); },
                   [this](const QByteArray& key) { return findUser(key); }, [this] { return m_directory.keys(); },
                   [this](const QByteArray& key, const QList<Endpoint>& endpoints) {
                       m_peers.learnPresence(key, endpoints);
                   },
                   [this](const QByteArray& key) { m_peers.presenceGone(key); },
                   [this](const QByteArray& key) { return peerFor(key); },
                   [this](const QString& address) { receivedPublicAddress(address); }}),
      m_activity(m_clock, m_sleepInhibitor),
      m_events(m_peers, m_catalogue, m_downloads, m_sending, m_listening, m_directory)
{
    connect(&m_directory, &UserDirectory::willChange, this, &ControllerPrivate::objectWillChange);
    connect(&m_directory, &UserDirectory::usersChanged, this, &ControllerPrivate::usersChanged);
    connect(&m_directory, &UserDirectory::userChanged, this, &ControllerPrivate::userChanged);
    connect(&m_directory, &UserDirectory::meChanged, this, &ControllerPrivate::meChanged);
    connect(&m_listening, &Listening::willChange, this, &ControllerPrivate::objectWillChange);
    connect(&m_listening, &Listening::stateChanged, this, &ControllerPrivate::listenerStateChanged);
    connect(&m_listening, &Listening::reachabilityChanged, this, &ControllerPrivate::reachabilityChanged);
    connect(&m_files, &FileTable::willChange, this, &ControllerPrivate::objectWillChange);
    connect(&m_files, &FileTable::published, this, &ControllerPrivate::filesChanged);
    connect(&m_store, &Store::warning, this, &ControllerPrivate::warning);
    connect(&m_catalogue, &Catalogue::listMerged, this, &ControllerPrivate::listReceived);
    connect(&m_catalogue, &Catalogue::offersRefused, this, &ControllerPrivate::offersRefused);
    connect(&m_peers, &Peers::peerReady, this, &ControllerPrivate::peerReady);
    connect(&m_peers, &Peers::peerDisconnected, this, &ControllerPrivate::peerDisconnected);
    connect(&m_peers, &Peers::strangerRefused, this, &ControllerPrivate::strangerRefused);
}

ControllerPrivate::~ControllerPrivate()
{
    m_tor.reset();
    // Nothing reaches this object from here on: connections and the listener
    // hold it weakly.
    m_events.close();
    m_listening.closePresence();
    if (m_store.pending())
        save();
    m_peers.shutDown();
    m_listening.closeListener();
}

QString ControllerPrivate::downloadsDirectory()
{
    if (m_downloadsDirectory.isEmpty())
        m_downloadsDirectory = defaultDownloadsDirectory();
    return m_downloadsDirectory;
}

}  // namespace vortan
