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

#include <QLockFile>

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
      m_supportDirectory(m_options.supportDirectory.isEmpty() ? defaultSupportDirectory()
                                                              : m_options.supportDirectory),
      m_downloadsDirectory(m_options.downloadsDirectory),
      m_clock(borrowOrOwn<Clock, SystemClock>(m_options.clock, m_ownedClock)),
      m_portMapper(chosenPortMapper(m_options, m_ownedPortMapper)),
      m_sleepInhibitor(chosenSleepInhibitor(m_options, m_ownedSleepInhibitor)),
      m_activityDate(m_clock.now())
{
    m_publishTimer = m_clock.createTimer([this] {
        // Publishes unconditionally; it does not go through update().
        m_armed = false;
        publish();
    });
    m_saveTimer = m_clock.createTimer([this] { save(); });
    m_policy = std::make_unique<ConnectionPolicy>(
        m_clock, ConnectionPolicy::Engine{
                     [this] {
                         QList<QByteArray> keys;
                         for (const User& user : std::as_const(m_users))
                             keys.append(user.key);
                         return keys;
                     },
                     [this](const QByteArray& key) { return hasWork(key); },
                     [this](const QByteArray& key) {
                         const User* user = findUser(key);
                         return user && user->state == User::State::notConnected && !peerFor(key);
                     },
                     [this](const QByteArray& key) { connectTo(key); }});
}

ControllerPrivate::~ControllerPrivate()
{
    // Nothing reaches this object from here on: connections and the listener
    // hold it weakly.
    expireWeakReferences();
    m_presence.reset();
    if (m_saveTimer && m_saveTimer->isActive())
        save();
    m_publishTimer.reset();
    m_activityTimer.reset();
    m_saveTimer.reset();
    m_windowTimer.reset();
    m_policy.reset();
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

QString ControllerPrivate::downloadsDirectory()
{
    if (m_downloadsDirectory.isEmpty())
        m_downloadsDirectory = defaultDownloadsDirectory();
    return m_downloadsDirectory;
}

bool ControllerPrivate::savePending() const
{
    return m_saveTimer && m_saveTimer->isActive();
}

// ---- Publication

void ControllerPrivate::update()
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

void ControllerPrivate::publishNow()
{
    m_publishTimer->stop();
    m_armed = false;
    publish();
}

void ControllerPrivate::publish()
{
    emit objectWillChange();
    m_lastUpdate = m_clock.now();
    FileChanges changes;
    if (m_files.membershipChanged() || !republishChanged(changes))
        republishAll(changes);
    m_files.takeChanges();
    emit filesChanged(changes);
}

void ControllerPrivate::republishAll(FileChanges& changes)
{
    // The new rows, and what changed since the last ones. Records keep their
    // relative order, so one walk over both lists pairs them up. A record's
    // row is a function of the record (and, while transferring, of its
    // rate), so an untouched record keeps its row. Ids are unique; should
    // they not be, every row is built afresh.
    const bool reusable = m_rowIndex.size() == m_rows.size();
    const auto build = [&](bool reuse, QList<FileRow>& rows, QHash<QUuid, qsizetype>& index, QList<bool>& fresh) {
        rows.clear();
        index.clear();
        fresh.clear();
        rows.reserve(m_files.size());
        index.reserve(m_files.size());
        fresh.reserve(m_files.size());
        for (const File& file : m_files) {
            index.insert(file.id(), rows.size());
            const qsizetype old = reuse ? m_rowIndex.value(file.id(), -1) : -1;
            if (old >= 0 && m_rows[old].status != FileRow::Status::transferring
                && !m_files.edited().contains(file.id())) {
                rows.append(m_rows[old]);
                fresh.append(false);
            } else {
                rows.append(rowOf(file));
                fresh.append(true);
            }
        }
    };
    QList<FileRow> rows;
    QHash<QUuid, qsizetype> index;
    QList<bool> fresh;
    build(reusable, rows, index, fresh);
    if (reusable && index.size() != rows.size())
        build(false, rows, index, fresh);

    for (qsizetype old = m_rows.size() - 1; old >= 0; --old) {
        if (!index.contains(m_rows[old].id)) {
            changes.removed.append({old, m_rows[old].id});
            m_rates.forget(m_rows[old].id);
        }
    }
    m_transferringRows.clear();
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (rows[row].status == FileRow::Status::transferring)
            m_transferringRows.append(row);
        if (!fresh[row])
            continue;
        const qsizetype old = m_rowIndex.value(rows[row].id, -1);
        if (old < 0)
            changes.inserted.append({row, rows[row].id});
        else if (!(m_rows[old] == rows[row]))
            changes.updated.append(rows[row].id);
    }
    m_rows = std::move(rows);
    m_rowIndex = std::move(index);
}

bool ControllerPrivate::republishChanged(FileChanges& changes)
{
    // No record came or went: the rows line up with the records one to one.
    if (m_rows.size() != m_files.size() || m_rowIndex.size() != m_rows.size())
        return false;
    QList<qsizetype> stale = m_transferringRows;
    stale.reserve(stale.size() + m_files.edited().size());
    for (const QUuid& id : m_files.edited()) {
        const qsizetype row = m_rowIndex.value(id, -1);
        if (row < 0 || m_files[row].id() != id)
            return false;
        stale.append(row);
    }
    std::sort(stale.begin(), stale.end());
    stale.erase(std::unique(stale.begin(), stale.end()), stale.end());

    QList<qsizetype> transferring;
    for (const qsizetype row : std::as_const(stale)) {
        FileRow fresh = rowOf(m_files[row]);
        if (fresh.status == FileRow::Status::transferring)
            transferring.append(row);
        if (!(fresh == m_rows[row])) {
            changes.updated.append(fresh.id);
            m_rows[row] = std::move(fresh);
        }
    }
    m_transferringRows = std::move(transferring);
    return true;
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

qsizetype ControllerPrivate::indexOfFile(const QUuid& id) const
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

File* ControllerPrivate::fileWithId(const QUuid& id)
{
    const qsizetype index = indexOfFile(id);
    return index < 0 ? nullptr : &m_files.edit(index);
}

const File* ControllerPrivate::findFile(const QUuid& id) const
{
    const qsizetype index = indexOfFile(id);
    return index < 0 ? nullptr : &m_files[index];
}

}  // namespace vortan
