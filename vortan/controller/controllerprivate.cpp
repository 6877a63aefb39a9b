#include "vortan/controller/controller_p.h"

#include "vortan/controller/connectionpolicy.h"
#include "vortan/directories.h"
#include "vortan/controller/sleepinhibitor.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/listener/listener.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/portmapping/portmapper.h"
#include "vortan/portmapping/gatewayportmapper.h"
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
        return GatewayPortMapper::shared();
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
                  {
                      .peerFor = [this](const QByteArray& user) { return m_peers.peerFor(user); },
                      .connectTo = [this](const QByteArray& user) { m_peers.connectTo(user); },
                      .startSending = [this](const QUuid& id, const std::shared_ptr<PeerConnection>& peer) {
                          m_sending.start(id, peer);
                      },
                      .progressed = [this] { m_store.schedule(); },
                      .activity = [this] { m_activity.mark(); },
                      .downloadsDirectory = [this] { return downloadsDirectory(); },
                      .finished = [this](const File& file) {
                          m_catalogue.downloadFinished(file.user);
                          emit downloadFinished(m_files.rowOf(file));
                      },
                      .askForList = [this](const QByteArray& user) {
                          return m_catalogue.askForListAgain(user, std::chrono::duration_cast<std::chrono::seconds>(
                                                                       DownloadWindows::kQuietDownloadTime));
                      },
                      .finishedAcrossConnections = [this](const QByteArray& user) {
                          m_catalogue.askWhetherSenderIsDone(user);
                      },
                      .linkAlive = [this](const QByteArray& user) { return m_peers.linkAlive(user); },
                  }),
      m_sending({
          .find = [this](const QUuid& id) { return m_files.find(id); },
          .edit = [this](const QUuid& id) { return m_files.edit(id); },
          .changed = [this] { m_files.update(); },
          .progressed = [this] { m_store.schedule(); },
          .activity = [this] { m_activity.mark(); },
          .offerSent = [this](const QUuid& id) { emit offerSent(id); },
      }),
      m_peers(m_clock,
              {
                  .keys = [this]() -> KeyHelper& { return keys(); },
                  .delegate = &m_events,
                  .findUser = [this](const QByteArray& key) { return m_directory.find(key); },
                  .modifyUser = [this](const QByteArray& key,
                                       const std::function<void(User&)>& change) { m_directory.modifyUser(key, change); },
                  .userKeys = [this] { return m_directory.keys(); },
                  .hasWork = [this](const QByteArray& key) { return m_catalogue.hasWork(key); },
                  .connectionReplaced = [this](const QByteArray& key) { m_downloads.forgetRequests(key); },
                  .handshakeDone = [this](const std::shared_ptr<PeerConnection>& peer) {
                      // Our list request lets the peer prove us in turn.
                      peer->sendListRequest();
                      m_catalogue.askedForList(peer);
                  },
                  .connectionEnded = [this](const std::shared_ptr<PeerConnection>& peer) {
                      m_catalogue.connectionEnded(peer);
                  },
                  // What their requests measured went with the connection.
                  .userLeft = [this](const QByteArray& key) { m_downloads.windows().dropAllOf(key); },
                  .onionRoute = [this](const QByteArray& key) { return onionRoute(key); },
                  .torConnectionWorked = [this] {
                      if (m_tor)
                          m_tor->connectionWorked();
                  },
              }),
      m_catalogue(m_files, {m_options.listMessageLimit, m_options.maxOffersPerUser},
                  {
                      .findUser = [this](const QByteArray& key) { return m_directory.find(key); },
                      .modifyUser = [this](const QByteArray& key, const std::function<void(User&)>& change) {
                          m_directory.modifyUser(key, change);
                      },
                      .peerFor = [this](const QByteArray& key) { return m_peers.peerFor(key); },
                      .admit = [this](const std::shared_ptr<PeerConnection>& peer) { return m_peers.admit(peer); },
                      .workAdded = [this](const QByteArray& key) { m_peers.policy().workAdded(key); },
                      .topUp = [this](const QUuid& id, PeerConnection& peer) { m_downloads.topUpRequests(id, peer); },
                      .remindSender = [this](const QUuid& id, PeerConnection& peer) {
                          m_downloads.remindSender(id, peer);
                      },
                      .changed = [this] { m_store.schedule(); },
                      .recordRemoved = [this](const QUuid& id) {
                          m_sending.forget(id);
                          m_downloads.forget(id);
                      },
                  }),
      m_listening(m_clock, m_portMapper, m_options.usePresence,
                  {
                      .keys = [this]() -> KeyHelper& { return keys(); },
                      .delegate = &m_events,
                      .me = [this]() -> const std::optional<User>& { return m_directory.me(); },
                      .findUser = [this](const QByteArray& key) { return m_directory.find(key); },
                      .userKeys = [this] { return m_directory.keys(); },
                      .userSeen = [this](const QByteArray& key, const QList<Endpoint>& endpoints) {
                          m_peers.learnPresence(key, endpoints);
                      },
                      .userGone = [this](const QByteArray& key) { m_peers.presenceGone(key); },
                      .peerFor = [this](const QByteArray& key) { return m_peers.peerFor(key); },
                      .publicAddress = [this](const QString& address) { receivedPublicAddress(address); },
                  }),
      m_activity(m_clock, m_sleepInhibitor),
      m_directPath({
          .enabled = [this] { return m_options.useDirectPath; },
          .listeningPort = [this]() -> std::optional<std::uint16_t> {
              const std::optional<User>& me = m_directory.me();
              if (m_listening.state().kind() != ListenerState::Kind::ready || !me || !me->port)
                  return std::nullopt;
              return *me->port;
          },
          .mappedAddress = [this]() -> std::optional<QString> {
              const Reachability& reachability = m_listening.reachability();
              if (reachability.router != Reachability::Router::forwarded || reachability.externalAddress.isEmpty())
                  return std::nullopt;
              return reachability.externalAddress;
          },
          .cardAddress = [this]() -> std::optional<QString> {
              const std::optional<User>& me = m_directory.me();
              return me ? me->address : std::nullopt;
          },
          .networks = [] { return HintFilter::machineNetworks(); },
          .peerFor = [this](const QByteArray& key) { return m_peers.peerFor(key); },
          .findUser = [this](const QByteArray& key) { return m_directory.find(key); },
          .call = [this](const QByteArray& key, const QList<Endpoint>& endpoints, std::uint16_t localPort) {
              m_peers.callDirect(key, endpoints, localPort);
          },
      }),
      m_events(m_peers, m_catalogue, m_downloads, m_sending, m_listening, m_directory, m_directPath)
{
    connect(&m_peers, &Peers::peerReady, this, [this](const QByteArray& key) { m_directPath.connected(key); });
    connect(&m_peers, &Peers::networkDidChange, this, [this] {
        QList<QByteArray> keys;
        for (const std::shared_ptr<PeerConnection>& peer : m_peers.ready()) {
            if (peer->user())
                keys.append(*peer->user());
        }
        m_directPath.networkChanged(keys);
    });
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
