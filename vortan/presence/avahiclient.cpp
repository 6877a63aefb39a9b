#include "vortan/presence/avahiclient.h"

#include "vortan/clock.h"
#include "vortan/log.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
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
constexpr uint kLookupResultLocal = 8;
constexpr uint kLookupResultOurOwn = 16;

// Waits before a failed lookup or browse is tried again: 1 s, doubling up to a minute.
std::chrono::milliseconds retryWait(int failures)
{
    return std::chrono::milliseconds(std::min(60000LL, 1000LL << std::clamp(failures - 1, 0, 6)));
}

QString errorText(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

void announceFailed(const QString& error)
{
    logWarning(lcPresence(), QStringLiteral("Could not announce on the local network: %1").arg(error));
}

}  // namespace

AvahiClient::AvahiClient(QDBusConnection bus, Clock& clock, QObject* parent)
    : PresenceResponder(parent), m_bus(std::move(bus)), m_clock(clock)
{
    qDBusRegisterMetaType<QList<QByteArray>>();
    m_browseRetry = m_clock.createTimer([this] {
        if (m_running && m_browserPath.isEmpty())
            browse();
    });
}

AvahiClient::~AvahiClient()
{
    // The responder frees a client's objects when its bus connection goes;
    // while the connection stays (the process goes on), free them now.
    for (const auto& resolver : std::as_const(m_resolvers))
        freeObject(resolver->path, kServiceResolver);
    freeObject(m_browserPath, kServiceBrowser);
    freeObject(m_groupPath, kEntryGroup);
}

void AvahiClient::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected()) {
        logInfo(lcPresence(), QStringLiteral("No system bus: no presence on the local network."));
        setState(State::noResponder);
        return;
    }
    // Every signal of the responder's objects, subscribed once before any
    // object exists: a subscription made with an object is sent to the bus
    // from the connection's thread and may arrive after the object's first
    // signals. The handlers check the sender, and match an answer to its
    // lookup by the path or, while the path is not known yet, by the service.
    subscribe(kServer, QStringLiteral("StateChanged"), SLOT(serverStateChanged(QDBusMessage)));
    subscribe(kEntryGroup, QStringLiteral("StateChanged"), SLOT(groupStateChanged(QDBusMessage)));
    subscribe(kServiceBrowser, QStringLiteral("ItemNew"), SLOT(itemNewSignal(QDBusMessage)));
    subscribe(kServiceBrowser, QStringLiteral("ItemRemove"), SLOT(itemRemoveSignal(QDBusMessage)));
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

void AvahiClient::responderAppeared()
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

void AvahiClient::responderLeft()
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
    m_browseRetry->stop();
    m_browseFailures = 0;
    // Its items go with it (a new responder reports them again).
    m_resolvers.clear();
    m_queue.clear();
    m_inFlight = 0;
    setState(State::noResponder);
}

void AvahiClient::serverStateChanged(const QDBusMessage& message)
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

void AvahiClient::responderRunning()
{
    m_running = true;
    logInfo(lcPresence(), QStringLiteral("The mDNS responder runs: browsing the local network."));
    setState(State::on);
    if (m_browserPath.isEmpty())
        browse();
    makeAnnouncement();
    pump();
}

void AvahiClient::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void AvahiClient::announce(const QString& name, std::uint16_t port, const QList<QByteArray>& txt)
{
    if (name == m_name && port == m_port && txt == m_txt)
        return;
    if (name != m_name)
        m_collisions = 0;
    m_name = name;
    m_port = port;
    m_txt = txt;
    if (m_running)
        makeAnnouncement();
}

void AvahiClient::makeAnnouncement()
{
    if (!m_running)
        return;
    if (m_groupBusy) {
        m_groupDirty = true;
        return;
    }
    if (m_name.isEmpty() || m_port == 0) {
        withdraw();
        return;
    }
    m_groupBusy = true;
    m_groupDirty = false;
    // After a collision the responder's own numbering: "token #2", "#3"...
    const QString name = m_collisions == 0 ? m_name : QStringLiteral("%1 #%2").arg(m_name).arg(m_collisions + 1);
    const std::uint16_t port = m_port;
    const QList<QByteArray> txt = m_txt;

    auto addService = [this, name, port, txt] {
        // The responder stopped running meanwhile: its return announces anew.
        if (m_groupPath.isEmpty() || !m_running) {
            groupCallDone();
            return;
        }
        QDBusMessage add = groupCall(QStringLiteral("AddService"));
        add << kIfUnspec << kProtoUnspec << 0u << name << QString::fromLatin1(kServiceType) << QString()
            << QString() << QVariant::fromValue(static_cast<quint16>(port)) << QVariant::fromValue(txt);
        onReply(m_bus.asyncCall(add, kCallTimeoutMs), [this, name, port](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) {
                if (reply.errorName() == QLatin1String("org.freedesktop.Avahi.CollisionError") && m_collisions < 20) {
                    ++m_collisions;
                    m_groupDirty = true;
                } else
                    announceFailed(errorText(reply));
                groupCallDone();
                return;
            }
            if (m_groupPath.isEmpty() || !m_running) {
                groupCallDone();
                return;
            }
            QDBusMessage commit = groupCall(QStringLiteral("Commit"));
            onReply(m_bus.asyncCall(commit, kCallTimeoutMs), [this, name, port](const QDBusMessage& done) {
                if (done.type() != QDBusMessage::ReplyMessage)
                    announceFailed(errorText(done));
                else {
                    m_announcedName = name;
                    m_announcedPort = port;
                    logDebug(lcPresence(), QStringLiteral("Announcing \"%1\" on port %2.").arg(name).arg(port));
                }
                groupCallDone();
            });
        });
    };

    if (!m_groupPath.isEmpty() && name == m_announcedName && port == m_announcedPort) {
        // Only the TXT record changed (a renewed signature): updated in
        // place, the service stays announced.
        QDBusMessage update = groupCall(QStringLiteral("UpdateServiceTxt"));
        update << kIfUnspec << kProtoUnspec << 0u << name << QString::fromLatin1(kServiceType) << QString()
               << QVariant::fromValue(txt);
        onReply(m_bus.asyncCall(update, kCallTimeoutMs), [this](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage)
                announceFailed(errorText(reply));
            groupCallDone();
        });
    } else if (m_groupPath.isEmpty()) {
        onReply(m_bus.asyncCall(serverCall(kServer, QStringLiteral("EntryGroupNew")), kCallTimeoutMs),
                [this, addService](const QDBusMessage& reply) {
                    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                        announceFailed(errorText(reply));
                        groupCallDone();
                        return;
                    }
                    m_groupPath = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
                    addService();
                });
    } else {
        QDBusMessage reset = groupCall(QStringLiteral("Reset"));
        onReply(m_bus.asyncCall(reset, kCallTimeoutMs), [addService](const QDBusMessage&) { addService(); });
    }
}

void AvahiClient::groupCallDone()
{
    m_groupBusy = false;
    if (std::exchange(m_groupDirty, false))
        makeAnnouncement();
}

void AvahiClient::withdraw()
{
    if (m_groupPath.isEmpty())
        return;
    freeObject(m_groupPath, kEntryGroup);
    m_groupPath.clear();
    if (!m_announcedName.isEmpty())
        logDebug(lcPresence(), QStringLiteral("No longer announcing \"%1\".").arg(m_announcedName));
    m_announcedName.clear();
}

void AvahiClient::groupStateChanged(const QDBusMessage& message)
{
    if (!fromResponder(message) || message.path() != m_groupPath || message.arguments().isEmpty())
        return;
    const int state = message.arguments().constFirst().toInt();
    if (state == kGroupEstablished) {
        logInfo(lcPresence(), QStringLiteral("Announced on the local network on port %1.").arg(m_port));
    } else if (state == kGroupCollision && m_collisions < 20) {
        ++m_collisions;
        logInfo(lcPresence(), QStringLiteral("The announced name is taken on the local network: choosing another."));
        makeAnnouncement();
    } else if (state == kGroupFailure) {
        const QString error = message.arguments().size() > 1 ? message.arguments().at(1).toString() : QString();
        announceFailed(error);
    }
}

void AvahiClient::browse()
{
    QDBusMessage prepare = serverCall(kServer2, QStringLiteral("ServiceBrowserPrepare"));
    prepare << kIfUnspec << kProtoUnspec << QString::fromLatin1(kServiceType) << QStringLiteral("local") << 0u;
    onReply(m_bus.asyncCall(prepare, kCallTimeoutMs), [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            logWarning(lcPresence(), QStringLiteral("Could not browse the local network: %1").arg(errorText(reply)));
            browseLater();
            return;
        }
        // Subscribed since start(): no announcement before Start is missed.
        m_browserPath = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        QDBusMessage startCall = QDBusMessage::createMethodCall(m_owner, m_browserPath, kServiceBrowser,
                                                                QStringLiteral("Start"));
        onReply(m_bus.asyncCall(startCall, kCallTimeoutMs), [this](const QDBusMessage& started) {
            if (started.type() == QDBusMessage::ReplyMessage)
                return;
            logWarning(lcPresence(), QStringLiteral("Could not browse the local network: %1").arg(errorText(started)));
            freeObject(std::exchange(m_browserPath, QString()), kServiceBrowser);
            browseLater();
        });
    });
}

void AvahiClient::browseLater() { m_browseRetry->startOnce(retryWait(++m_browseFailures)); }

void AvahiClient::itemNewSignal(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (!fromResponder(message) || message.path() != m_browserPath || args.size() < 6)
        return;
    m_browseFailures = 0;
    const ServiceItem item{args.at(0).toInt(), args.at(1).toInt(), args.at(2).toString()};
    if ((args.at(5).toUInt() & kLookupResultOurOwn) && item.name == m_announcedName)
        return;
    emit itemNew(item);
}

void AvahiClient::itemRemoveSignal(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (!fromResponder(message) || message.path() != m_browserPath || args.size() < 3)
        return;
    const ServiceItem item{args.at(0).toInt(), args.at(1).toInt(), args.at(2).toString()};
    dropResolver(item.id());
    emit itemRemoved(item);
}

void AvahiClient::browserFailure(const QDBusMessage& message)
{
    if (!fromResponder(message) || message.path() != m_browserPath)
        return;
    logWarning(lcPresence(), QStringLiteral("Browsing the local network failed: %1")
                                 .arg(message.arguments().value(0).toString()));
    freeObject(std::exchange(m_browserPath, QString()), kServiceBrowser);
    browseLater();
}

void AvahiClient::resolve(const ServiceItem& item)
{
    const QString id = item.id();
    if (m_resolvers.contains(id))
        return;
    auto resolver = std::make_shared<Resolver>();
    resolver->item = item;
    resolver->retry = m_clock.createTimer([this, id] {
        if (m_resolvers.contains(id)) {
            m_queue.push_back(id);
            pump();
        }
    });
    m_resolvers.insert(id, std::move(resolver));
    m_queue.push_back(id);
    pump();
}

void AvahiClient::stopResolving(const ServiceItem& item)
{
    dropResolver(item.id());
}

void AvahiClient::pump()
{
    while (m_running && m_inFlight < kMaxLookups && !m_queue.empty()) {
        const QString id = m_queue.front();
        m_queue.pop_front();
        const auto it = m_resolvers.constFind(id);
        if (it != m_resolvers.cend() && !(*it)->inFlight && (*it)->path.isEmpty())
            startLookup(id);
    }
}

// A resolver stays with the announcement while it is there: the responder
// reports it again when the host's address changes (a renumbered laptop).
void AvahiClient::startLookup(const QString& id)
{
    Resolver& resolver = *m_resolvers.value(id);
    resolver.inFlight = true;
    ++m_inFlight;
    const ServiceItem& item = resolver.item;
    QDBusMessage prepare = serverCall(kServer2, QStringLiteral("ServiceResolverPrepare"));
    // The address of the protocol the announcement came over.
    prepare << item.interface << item.protocol << item.name << QString::fromLatin1(kServiceType)
            << QStringLiteral("local") << item.protocol << 0u;
    onReply(m_bus.asyncCall(prepare, kCallTimeoutMs), [this, id](const QDBusMessage& reply) {
        const auto it = m_resolvers.find(id);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            logDebug(lcPresence(), QStringLiteral("Could not resolve an announcement: %1").arg(errorText(reply)));
            if (it != m_resolvers.end())
                lookupFailed(id);
            return;
        }
        const QString path = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        if (it == m_resolvers.end()) {
            freeObject(path, kServiceResolver);  // the announcement went meanwhile
            return;
        }
        (*it)->path = path;
        QDBusMessage startCall = QDBusMessage::createMethodCall(m_owner, path, kServiceResolver,
                                                                QStringLiteral("Start"));
        onReply(m_bus.asyncCall(startCall, kCallTimeoutMs), [this, id, path](const QDBusMessage& started) {
            const auto r = m_resolvers.constFind(id);
            if (started.type() != QDBusMessage::ReplyMessage && r != m_resolvers.cend() && (*r)->path == path)
                lookupFailed(id);
        });
    });
}

void AvahiClient::settle(Resolver& resolver)
{
    if (!std::exchange(resolver.inFlight, false))
        return;
    --m_inFlight;
    pump();
}

void AvahiClient::lookupFailed(const QString& id)
{
    const std::shared_ptr<Resolver> resolver = m_resolvers.value(id);
    freeObject(std::exchange(resolver->path, QString()), kServiceResolver);
    ++resolver->failures;
    resolver->retry->startOnce(retryWait(resolver->failures));
    settle(*resolver);
}

void AvahiClient::dropResolver(const QString& id)
{
    const std::shared_ptr<Resolver> resolver = m_resolvers.take(id);
    if (!resolver)
        return;
    freeObject(resolver->path, kServiceResolver);
    settle(*resolver);
}

AvahiClient::Resolver* AvahiClient::resolverFor(const QDBusMessage& message)
{
    if (!fromResponder(message))
        return nullptr;
    for (const auto& r : std::as_const(m_resolvers)) {
        if (r->path == message.path())
            return r.get();
    }
    // An answer that came before the reply naming its resolver: the service
    // it names tells which lookup it answers.
    const QList<QVariant> args = message.arguments();
    if (args.size() < 3)
        return nullptr;
    const ServiceItem item{args.at(0).toInt(), args.at(1).toInt(), args.at(2).toString()};
    const auto it = m_resolvers.constFind(item.id());
    return it != m_resolvers.cend() && (*it)->inFlight && (*it)->path.isEmpty() ? it->get() : nullptr;
}

void AvahiClient::resolverFound(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    Resolver* resolver = args.size() >= 11 ? resolverFor(message) : nullptr;
    if (!resolver)
        return;
    resolver->failures = 0;
    const ServiceItem item = resolver->item;
    settle(*resolver);  // may start other lookups: resolver stays valid (it is kept by m_resolvers)

    Resolution resolution;
    const int interface = args.at(0).toInt();
    const int addressProtocol = args.at(6).toInt();
    resolution.host = args.at(7).toString();
    resolution.port = static_cast<std::uint16_t>(args.at(8).toUInt());
    resolution.txt = qdbus_cast<QList<QByteArray>>(args.at(9));
    resolution.local = args.at(10).toUInt() & kLookupResultLocal;
    const QHostAddress address(resolution.host);
    if (address.isNull())
        return;
    resolution.ipv4 = addressProtocol == kProtoInet && address.protocol() == QAbstractSocket::IPv4Protocol;
    if (!resolution.ipv4 && address.isLinkLocal()) {
        const QString scope = QNetworkInterface::interfaceNameFromIndex(interface);
        if (scope.isEmpty())
            return;
        resolution.host += QLatin1Char('%') + scope;
    }
    logDebug(lcPresence(),
             QStringLiteral("Resolved \"%1\" to %2 port %3.").arg(item.name, resolution.host).arg(resolution.port));
    emit resolved(item, resolution);
}

void AvahiClient::resolverFailure(const QDBusMessage& message)
{
    Resolver* resolver = resolverFor(message);
    if (!resolver)
        return;
    logDebug(lcPresence(), QStringLiteral("Resolving \"%1\" failed: %2")
                               .arg(resolver->item.name, message.arguments().value(0).toString()));
    lookupFailed(resolver->item.id());
}

bool AvahiClient::fromResponder(const QDBusMessage& message) const
{
    return !m_owner.isEmpty() && message.service() == m_owner;
}

QDBusMessage AvahiClient::serverCall(const QString& interface, const QString& method) const
{
    // Addressed to the responder's unique name: never starts a daemon.
    return QDBusMessage::createMethodCall(m_owner, QStringLiteral("/"), interface, method);
}

QDBusMessage AvahiClient::groupCall(const QString& method) const
{
    return QDBusMessage::createMethodCall(m_owner, m_groupPath, kEntryGroup, method);
}

void AvahiClient::onReply(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> handler)
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

void AvahiClient::subscribe(const QString& interface, const QString& signal, const char* slot)
{
    // Any sender and path (no name lookup that would wait); fromResponder()
    // checks the sender.
    m_bus.connect(QString(), QString(), interface, signal, this, slot);
}

void AvahiClient::freeObject(const QString& path, const QString& interface)
{
    if (path.isEmpty() || m_owner.isEmpty())
        return;
    m_bus.asyncCall(QDBusMessage::createMethodCall(m_owner, path, interface, QStringLiteral("Free")), kCallTimeoutMs);
}

}  // namespace vortan
