#include "vortan/controller/controller.h"

#include "vortan/controller/directories.h"
#include "vortan/controller/sleepinhibitor.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/listener/listener.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/portmapping/portmapper.h"

#include <QLockFile>

namespace vortan {

namespace {

template <typename T, typename Default> T& borrowOrOwn(T* given, std::unique_ptr<T>& owned)
{
    if (given)
        return *given;
    owned = std::make_unique<Default>();
    return *owned;
}

}  // namespace

Controller::Controller(KeyHelper& keys, ControllerOptions options, ControllerDelegate* delegate, QObject* parent)
    : QObject(parent), m_keys(keys), m_options(std::move(options)),
      m_supportDirectory(m_options.supportDirectory.isEmpty() ? defaultSupportDirectory()
                                                              : m_options.supportDirectory),
      m_downloadsDirectory(m_options.downloadsDirectory),
      m_clock(borrowOrOwn<Clock, SystemClock>(m_options.clock, m_ownedClock)),
      m_portMapper(borrowOrOwn<PortMapper, NullPortMapper>(m_options.portMapper, m_ownedPortMapper)),
      m_sleepInhibitor(
          borrowOrOwn<SleepInhibitor, Login1SleepInhibitor>(m_options.sleepInhibitor, m_ownedSleepInhibitor)),
      m_delegate(delegate), m_activityDate(m_clock.now())
{
    m_publishTimer = m_clock.createTimer([this] {
        // Publishes unconditionally; it does not go through update().
        m_armed = false;
        publish();
    });
    m_saveTimer = m_clock.createTimer([this] { save(); });
}

Controller::~Controller()
{
    // Nothing reaches this object from here on: connections and the listener
    // hold it weakly.
    expireWeakReferences();
    if (m_saveTimer && m_saveTimer->isActive())
        save();
    m_publishTimer.reset();
    m_activityTimer.reset();
    m_saveTimer.reset();
    if (m_activity)
        m_sleepInhibitor.release();
    // Close the connections so that they end (and are released) once the
    // event loop has delivered their cancellation.
    for (const OutgoingPeer& outgoing : std::as_const(m_connectingPeers)) {
        if (Connection* connection = outgoing.peer->connection())
            connection->cancel();
    }
    for (const auto* list : {&m_pendingPeers, &m_peers}) {
        for (const std::shared_ptr<PeerConnection>& peer : *list) {
            if (Connection* connection = peer->connection())
                connection->cancel();
        }
    }
    m_listener.reset();
}

QString Controller::downloadsDirectory()
{
    if (m_downloadsDirectory.isEmpty())
        m_downloadsDirectory = defaultDownloadsDirectory();
    return m_downloadsDirectory;
}

bool Controller::savePending() const
{
    return m_saveTimer && m_saveTimer->isActive();
}

// ---- Publication

void Controller::update()
{
    if (m_armed)
        return;
    const Clock::TimePoint now = m_clock.now();
    if (!m_lastUpdate || now - *m_lastUpdate >= kPublicationInterval) {
        publish();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kPublicationInterval - (now - *m_lastUpdate));
    m_publishTimer->startOnce(wait);
    m_armed = true;
}

void Controller::publish()
{
    emit objectWillChange();
    m_files2 = m_files;
    m_lastUpdate = m_clock.now();
    emit filesChanged();
}

// ---- System activity

void Controller::markActivity()
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

void Controller::checkActivity()
{
    if (m_activity && m_clock.now() - m_activityDate > kActivityInterval) {
        m_activity = false;
        m_sleepInhibitor.release();
    }
}

// ---- Published users and card

void Controller::modifyUsers(const std::function<void(QList<User>&)>& change)
{
    emit objectWillChange();
    change(m_users);
    emit usersChanged();
}

void Controller::modifyUser(const QByteArray& key, const std::function<void(User&)>& change)
{
    const qsizetype index = indexOfUser(key);
    if (index < 0)
        return;
    modifyUsers([&](QList<User>& users) { change(users[index]); });
}

void Controller::modifyMe(const std::function<void(User&)>& change)
{
    if (!m_me)
        return;
    emit objectWillChange();
    change(*m_me);
    emit meChanged();
}

void Controller::refreshAllowedUsers()
{
    m_keys.setAllowedUsers(std::vector<User>(m_users.cbegin(), m_users.cend()));
}

qsizetype Controller::indexOfUser(const QByteArray& key) const
{
    for (qsizetype i = 0; i < m_users.size(); ++i) {
        if (m_users[i].key == key)
            return i;
    }
    return -1;
}

const User* Controller::findUser(const QByteArray& key) const
{
    const qsizetype index = indexOfUser(key);
    return index < 0 ? nullptr : &m_users[index];
}

qsizetype Controller::indexOfFile(const QUuid& id) const
{
    if (!m_fileIndexValid || m_fileIndex.size() > m_files.size()) {
        m_fileIndex.clear();
        m_fileIndex.reserve(m_files.size());
        for (qsizetype i = 0; i < m_files.size(); ++i) {
            if (!m_fileIndex.contains(m_files[i].id()))  // the first record of an id wins
                m_fileIndex.insert(m_files[i].id(), i);
        }
        m_fileIndexValid = true;
    }
    const auto found = m_fileIndex.constFind(id);
    if (found == m_fileIndex.cend())
        return -1;
    Q_ASSERT(*found < m_files.size() && m_files[*found].id() == id);
    return *found;
}

File* Controller::fileWithId(const QUuid& id)
{
    const qsizetype index = indexOfFile(id);
    return index < 0 ? nullptr : &m_files[index];
}

const File* Controller::findFile(const QUuid& id) const
{
    const qsizetype index = indexOfFile(id);
    return index < 0 ? nullptr : &m_files[index];
}

}  // namespace vortan
