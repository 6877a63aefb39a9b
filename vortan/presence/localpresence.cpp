#include "vortan/presence/localpresence.h"

#include "vortan/clock.h"
#include "vortan/log.h"
#include "vortan/presence/presencetoken.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>
#include <utility>

namespace vortan {

namespace {

const QString kAvahi = QStringLiteral("org.freedesktop.Avahi");
const QString kServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kServer2 = QStringLiteral("org.freedesktop.Avahi.Server2");
const QString kEntryGroup = QStringLiteral("org.freedesktop.Avahi.EntryGroup");
const QString kServiceBrowser = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
const QString kServiceResolver = QStringLiteral("org.freedesktop.Avahi.ServiceResolver");
constexpr int kCallTimeoutMs = 10000;

// Avahi's values.
constexpr int kIfUnspec = -1;
constexpr int kProtoUnspec = -1;
constexpr int kProtoInet = 0;
constexpr int kServerRunning = 2;
constexpr int kGroupEstablished = 2;
constexpr int kGroupCollision = 3;
constexpr int kGroupFailure = 4;
constexpr uint kLookupResultOurOwn = 16;

QString errorText(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

}  // namespace

LocalPresence::LocalPresence(QDBusConnection bus, Clock& clock, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_clock(clock)
{
    qDBusRegisterMetaType<QList<QByteArray>>();
    m_dayTimer = m_clock.createTimer([this] { dayChanged(); });
    m_settleTimer = m_clock.createTimer([this] { reportSeen(); });
}

LocalPresence::~LocalPresence()
{
    // The responder frees a client's objects when its bus connection goes;
    // while the connection stays (the process goes on), free them now.
    if (!m_owner.isEmpty()) {
        for (const Resolver& resolver : std::as_const(m_resolvers))
            freeObject(resolver.path, kServiceResolver);
        freeObject(m_browserPath, kServiceBrowser);
        freeObject(m_groupPath, kEntryGroup);
    }
}

void LocalPresence::start()
{
    if (m_started)
        return;
    m_started = true;
    rebuildTokens();
    scheduleDayChange();
    if (!m_bus.isConnected()) {
        logInfo(lcPresence(), QStringLiteral("No system bus: no presence on the local network."));
        setState(State::noResponder);
        return;
    }
    // Every signal of the responder's objects, subscribed once before any
    // object exists: a subscription made with an object is sent to the bus
    // from the connection's thread and may arrive after the object's first
    // signals. The handlers check the sender and the path.
    subscribe(kServer, QStringLiteral("StateChanged"), SLOT(serverStateChanged(QDBusMessage)));
    subscribe(kEntryGroup, QStringLiteral("StateChanged"), SLOT(groupStateChanged(QDBusMessage)));
    subscribe(kServiceBrowser, QStringLiteral("ItemNew"), SLOT(itemNew(QDBusMessage)));
    subscribe(kServiceBrowser, QStringLiteral("ItemRemove"), SLOT(itemRemove(QDBusMessage)));
    subscribe(kServiceBrowser, QStringLiteral("Failure"), SLOT(browserFailure(QDBusMessage)));
    subscribe(kServiceResolver, QStringLiteral("Found"), SLOT(resolverFound(QDBusMessage)));
    subscribe(kServiceResolver, QStringLiteral("Failure"), SLOT(resolverFailure(QDBusMessage)));
    m_watcher = std::make_unique<QDBusServiceWatcher>(
        kAvahi, m_bus, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                responderLeft();
                if (!newOwner.isEmpty()) {
                    m_owner = newOwner;
                    responderAppeared();
                }
            });

    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("/org/freedesktop/DBus"),
                                                      QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("GetNameOwner"));
    ask << kAvahi;
    onReply(m_bus.asyncCall(ask, kCallTimeoutMs), [this](const QDBusMessage& reply) {
        if (!m_owner.isEmpty())
            return;  // the watcher was quicker
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            logInfo(lcPresence(), QStringLiteral("No mDNS responder (avahi-daemon) on the system bus: "
                                                 "no presence on the local network."));
            setState(State::noResponder);
            return;
        }
        m_owner = reply.arguments().constFirst().toString();
        responderAppeared();
    });
}

void LocalPresence::responderAppeared()
{
    ++m_generation;
    onReply(m_bus.asyncCall(serverCall(kServer, QStringLiteral("GetState")), kCallTimeoutMs),
            [this](const QDBusMessage& reply) {
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                    logWarning(lcPresence(),
                               QStringLiteral("The mDNS responder does not answer: %1").arg(errorText(reply)));
                    setState(State::noResponder);
                    return;
                }
                if (reply.arguments().constFirst().toInt() == kServerRunning)
                    responderRunning();
            });
}

void LocalPresence::responderLeft()
{
    if (m_owner.isEmpty())
        return;
    logInfo(lcPresence(), QStringLiteral("The mDNS responder left the system bus."));
    m_owner.clear();
    ++m_generation;
    m_running = false;
    m_groupPath.clear();
    m_announcedName.clear();
    m_groupBusy = false;
    m_groupDirty = false;
    m_browserPath.clear();
    m_items.clear();
    m_resolvers.clear();
    setState(State::noResponder);
}

void LocalPresence::serverStateChanged(const QDBusMessage& message)
{
    if (!fromResponder(message) || message.arguments().isEmpty())
        return;
    const int state = message.arguments().constFirst().toInt();
    if (state == kServerRunning) {
        if (!m_running)
            responderRunning();
        return;
    }
    // The host name is being (re)registered: the responder withdraws the
    // entry groups; they are made again once it runs.
    if (m_running) {
        m_running = false;
        if (!m_groupPath.isEmpty()) {
            freeObject(m_groupPath, kEntryGroup);
            m_groupPath.clear();
            m_announcedName.clear();
        }
    }
}

void LocalPresence::responderRunning()
{
    m_running = true;
    logInfo(lcPresence(), QStringLiteral("The mDNS responder runs: browsing the local network."));
    setState(State::on);
    if (m_browserPath.isEmpty())
        browse();
    announce();
}

void LocalPresence::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void LocalPresence::setAnnouncement(const QByteArray& ownKey, std::uint16_t port)
{
    if (ownKey == m_ownKey && port == m_port)
        return;
    m_ownKey = ownKey;
    m_port = port;
    m_collisions = 0;
    if (m_running)
        announce();
}

void LocalPresence::announce()
{
    if (!m_running)
        return;
    if (m_groupBusy) {
        m_groupDirty = true;
        return;
    }
    const QString token = presenceToken(m_ownKey, utcDayNumber(QDateTime::currentDateTimeUtc()));
    if (token.isEmpty() || m_port == 0) {
        withdraw();
        return;
    }
    m_groupBusy = true;
    m_groupDirty = false;
    // After a collision the responder's own numbering: "token #2", "#3"...
    const QString name = m_collisions == 0 ? token : QStringLiteral("%1 #%2").arg(token).arg(m_collisions + 1);
    const std::uint16_t port = m_port;

    auto addService = [this, name, token, port] {
        // The responder stopped running meanwhile: its return announces anew.
        if (m_groupPath.isEmpty() || !m_running) {
            groupCallDone();
            return;
        }
        QDBusMessage add = QDBusMessage::createMethodCall(m_owner, m_groupPath, kEntryGroup,
                                                          QStringLiteral("AddService"));
        const QList<QByteArray> txt{QByteArrayLiteral("t=") + token.toLatin1()};
        add << kIfUnspec << kProtoUnspec << 0u << name << QString::fromLatin1(kServiceType) << QString()
            << QString() << QVariant::fromValue(static_cast<quint16>(port)) << QVariant::fromValue(txt);
        onReply(m_bus.asyncCall(add, kCallTimeoutMs), [this, name, port](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) {
                if (reply.errorName() == QLatin1String("org.freedesktop.Avahi.CollisionError")
                    && m_collisions < 20) {
                    ++m_collisions;
                    m_groupDirty = true;
                } else {
                    logWarning(lcPresence(), QStringLiteral("Could not announce on the local network: %1")
                                                 .arg(errorText(reply)));
                }
                groupCallDone();
                return;
            }
            if (m_groupPath.isEmpty() || !m_running) {
                groupCallDone();
                return;
            }
            QDBusMessage commit = QDBusMessage::createMethodCall(m_owner, m_groupPath, kEntryGroup,
                                                                 QStringLiteral("Commit"));
            onReply(m_bus.asyncCall(commit, kCallTimeoutMs), [this, name, port](const QDBusMessage& done) {
                if (done.type() != QDBusMessage::ReplyMessage) {
                    logWarning(lcPresence(), QStringLiteral("Could not announce on the local network: %1")
                                                 .arg(errorText(done)));
                } else {
                    m_announcedName = name;
                    logDebug(lcPresence(), QStringLiteral("Announcing \"%1\" on port %2.").arg(name).arg(port));
                }
                groupCallDone();
            });
        });
    };

    if (m_groupPath.isEmpty()) {
        onReply(m_bus.asyncCall(serverCall(kServer, QStringLiteral("EntryGroupNew")), kCallTimeoutMs),
                [this, addService](const QDBusMessage& reply) {
                    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                        logWarning(lcPresence(), QStringLiteral("Could not announce on the local network: %1")
                                                     .arg(errorText(reply)));
                        groupCallDone();
                        return;
                    }
                    m_groupPath = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
                    addService();
                });
    } else {
        QDBusMessage reset = QDBusMessage::createMethodCall(m_owner, m_groupPath, kEntryGroup, QStringLiteral("Reset"));
        onReply(m_bus.asyncCall(reset, kCallTimeoutMs), [addService](const QDBusMessage&) { addService(); });
    }
}

void LocalPresence::groupCallDone()
{
    m_groupBusy = false;
    if (std::exchange(m_groupDirty, false))
        announce();
}

void LocalPresence::withdraw()
{
    if (m_groupPath.isEmpty())
        return;
    freeObject(m_groupPath, kEntryGroup);
    m_groupPath.clear();
    if (!m_announcedName.isEmpty())
        logDebug(lcPresence(), QStringLiteral("No longer announcing \"%1\".").arg(m_announcedName));
    m_announcedName.clear();
}

void LocalPresence::groupStateChanged(const QDBusMessage& message)
{
    if (!fromResponder(message) || message.path() != m_groupPath || message.arguments().isEmpty())
        return;
    const int state = message.arguments().constFirst().toInt();
    if (state == kGroupEstablished) {
        logInfo(lcPresence(), QStringLiteral("Announced on the local network on port %1.").arg(m_port));
    } else if (state == kGroupCollision && m_collisions < 20) {
        ++m_collisions;
        logInfo(lcPresence(), QStringLiteral("The announced name is taken on the local network: choosing another."));
        announce();
    } else if (state == kGroupFailure) {
        const QString error = message.arguments().size() > 1 ? message.arguments().at(1).toString() : QString();
        logWarning(lcPresence(), QStringLiteral("Could not announce on the local network: %1").arg(error));
    }
}

void LocalPresence::browse()
{
    QDBusMessage prepare = serverCall(kServer2, QStringLiteral("ServiceBrowserPrepare"));
    prepare << kIfUnspec << kProtoUnspec << QString::fromLatin1(kServiceType) << QStringLiteral("local") << 0u;
    onReply(m_bus.asyncCall(prepare, kCallTimeoutMs), [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            logWarning(lcPresence(), QStringLiteral("Could not browse the local network: %1").arg(errorText(reply)));
            return;
        }
        // Subscribed since start(): no announcement before Start is missed.
        m_browserPath = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        QDBusMessage startCall = QDBusMessage::createMethodCall(m_owner, m_browserPath, kServiceBrowser,
                                                                QStringLiteral("Start"));
        onReply(m_bus.asyncCall(startCall, kCallTimeoutMs), [](const QDBusMessage& started) {
            if (started.type() != QDBusMessage::ReplyMessage)
                logWarning(lcPresence(),
                           QStringLiteral("Could not browse the local network: %1").arg(errorText(started)));
        });
    });
}

void LocalPresence::itemNew(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (!fromResponder(message) || message.path() != m_browserPath || args.size() < 6)
        return;
    Item item{args.at(0).toInt(), args.at(1).toInt(), args.at(2).toString()};
    const uint flags = args.at(5).toUInt();
    if ((flags & kLookupResultOurOwn) && item.name == m_announcedName)
        return;
    m_items.insert(itemId(item.interface, item.protocol, item.name), item);
    const QByteArray key = userOf(item.name);
    if (key.isEmpty()) {
        logDebug(lcPresence(), QStringLiteral("An announcement of no known user: \"%1\".").arg(item.name));
        return;
    }
    resolve(item, key);
}

void LocalPresence::itemRemove(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (!fromResponder(message) || message.path() != m_browserPath || args.size() < 3)
        return;
    const QString id = itemId(args.at(0).toInt(), args.at(1).toInt(), args.at(2).toString());
    m_items.remove(id);
    const auto it = m_resolvers.constFind(id);
    if (it == m_resolvers.cend())
        return;
    const QString path = it->path;
    m_resolvers.erase(it);
    if (!path.isEmpty()) {
        freeObject(path, kServiceResolver);
    }
}

void LocalPresence::browserFailure(const QDBusMessage& message)
{
    if (!fromResponder(message) || message.path() != m_browserPath)
        return;
    const QString error = message.arguments().isEmpty() ? QString() : message.arguments().constFirst().toString();
    logWarning(lcPresence(), QStringLiteral("Browsing the local network failed: %1").arg(error));
}

// A resolver stays with the announcement while it is there: the responder
// reports it again when the host's address changes (a renumbered laptop).
void LocalPresence::resolve(const Item& item, const QByteArray& key)
{
    const QString id = itemId(item.interface, item.protocol, item.name);
    if (m_resolvers.contains(id))
        return;
    Resolver resolver;
    resolver.key = key;
    m_resolvers.insert(id, resolver);
    QDBusMessage prepare = serverCall(kServer2, QStringLiteral("ServiceResolverPrepare"));
    // The address of the protocol the announcement came over.
    prepare << item.interface << item.protocol << item.name << QString::fromLatin1(kServiceType)
            << QStringLiteral("local") << item.protocol << 0u;
    onReply(m_bus.asyncCall(prepare, kCallTimeoutMs), [this, id](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            logDebug(lcPresence(), QStringLiteral("Could not resolve an announcement: %1").arg(errorText(reply)));
            return;
        }
        const QString path = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        const auto it = m_resolvers.find(id);
        if (it == m_resolvers.end()) {
            freeObject(path, kServiceResolver);  // the announcement went meanwhile
            return;
        }
        it->path = path;
        QDBusMessage startCall = QDBusMessage::createMethodCall(m_owner, path, kServiceResolver,
                                                                QStringLiteral("Start"));
        onReply(m_bus.asyncCall(startCall, kCallTimeoutMs), [](const QDBusMessage&) {});
    });
}

void LocalPresence::resolverFound(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (!fromResponder(message) || args.size() < 9)
        return;
    Resolver* resolver = nullptr;
    for (Resolver& r : m_resolvers) {
        if (r.path == message.path())
            resolver = &r;
    }
    if (!resolver)
        return;
    const int interface = args.at(0).toInt();
    const int addressProtocol = args.at(6).toInt();
    QString host = args.at(7).toString();
    const auto port = static_cast<std::uint16_t>(args.at(8).toUInt());
    const QHostAddress address(host);
    if (address.isNull() || port == 0)
        return;
    // IPv4 first, then a routable IPv6 address, then a link-local one (with
    // the interface it is reached over).
    int rank = 3;
    if (addressProtocol != kProtoInet || address.protocol() == QAbstractSocket::IPv6Protocol) {
        rank = 2;
        if (address.isLinkLocal()) {
            const QString scope = QNetworkInterface::interfaceNameFromIndex(interface);
            if (scope.isEmpty())
                return;
            host += QLatin1Char('%') + scope;
            rank = 1;
        }
    }
    const QString previous = std::exchange(resolver->host, host);
    resolver->rank = rank;
    resolver->port = port;
    logDebug(lcPresence(), QStringLiteral("Resolved \"%1\" to %2 port %3.").arg(args.at(2).toString(), host).arg(port));
    const QByteArray key = resolver->key;
    m_seen.insert(key);
    if (!m_settleTimer->isActive())
        m_settleTimer->startOnce(kSettleTime);
    if (!previous.isEmpty() && previous != host)
        emit userMoved(key, previous);
}

void LocalPresence::reportSeen()
{
    const QSet<QByteArray> seen = std::exchange(m_seen, {});
    for (const QByteArray& key : seen) {
        const Resolver* best = nullptr;
        for (const Resolver& r : std::as_const(m_resolvers)) {
            if (r.key == key && r.rank > 0 && (!best || r.rank > best->rank))
                best = &r;
        }
        if (best)
            emit userSeen(key, best->host, best->port);
    }
}

void LocalPresence::resolverFailure(const QDBusMessage& message)
{
    if (!fromResponder(message))
        return;
    for (Resolver& r : m_resolvers) {
        if (r.path == message.path())
            r.rank = 0;
    }
}

void LocalPresence::setKnownKeys(const QList<QByteArray>& keys)
{
    if (keys == m_knownKeys)
        return;
    m_knownKeys = keys;
    rebuildTokens();
    resolveKnownItems();
}

void LocalPresence::resolveKnownItems()
{
    for (const Item& item : std::as_const(m_items)) {
        const QByteArray key = userOf(item.name);
        if (!key.isEmpty())
            resolve(item, key);
    }
}

void LocalPresence::rebuildTokens()
{
    m_tokens.clear();
    const std::int64_t today = utcDayNumber(QDateTime::currentDateTimeUtc());
    for (const QByteArray& key : std::as_const(m_knownKeys)) {
        for (std::int64_t day = today - 1; day <= today + 1; ++day) {
            const QString token = presenceToken(key, day);
            if (!token.isEmpty())
                m_tokens.insert(token, key);
        }
    }
}

QByteArray LocalPresence::userOf(const QString& name) const
{
    // The token, then nothing or a " #n" the responder added after a collision.
    return m_tokens.value(name.section(QLatin1Char(' '), 0, 0).toLower());
}

void LocalPresence::scheduleDayChange()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime next = QDateTime(now.date().addDays(1), QTime(0, 0), Qt::UTC);
    // A second late: the new day has begun for sure.
    m_dayTimer->startOnce(std::chrono::milliseconds(now.msecsTo(next) + 1000));
}

void LocalPresence::dayChanged()
{
    logDebug(lcPresence(), QStringLiteral("A new UTC day: announcing the new token."));
    rebuildTokens();
    resolveKnownItems();
    m_collisions = 0;
    announce();
    scheduleDayChange();
}

bool LocalPresence::fromResponder(const QDBusMessage& message) const
{
    return !m_owner.isEmpty() && message.service() == m_owner;
}

QDBusMessage LocalPresence::serverCall(const QString& interface, const QString& method) const
{
    // Addressed to the responder's unique name: never starts a daemon.
    return QDBusMessage::createMethodCall(m_owner, QStringLiteral("/"), interface, method);
}

void LocalPresence::onReply(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> handler)
{
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    const quint64 generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                // A reply from a responder that has left since is dropped.
                if (generation == m_generation)
                    handler(finished->reply());
            });
}

void LocalPresence::subscribe(const QString& interface, const QString& signal, const char* slot)
{
    // Any sender and path (no name lookup that would wait); fromResponder()
    // checks the sender.
    m_bus.connect(QString(), QString(), interface, signal, this, slot);
}

void LocalPresence::freeObject(const QString& path, const QString& interface)
{
    if (path.isEmpty() || m_owner.isEmpty())
        return;
    m_bus.asyncCall(QDBusMessage::createMethodCall(m_owner, path, interface, QStringLiteral("Free")), kCallTimeoutMs);
}

QString LocalPresence::itemId(int interface, int protocol, const QString& name)
{
    return QStringLiteral("%1/%2/%3").arg(interface).arg(protocol).arg(name);
}

}  // namespace vortan
