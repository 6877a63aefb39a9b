#include "vortan/presence/localpresence.h"

#include "vortan/log.h"
#include "vortan/presence/announcement.h"
#include "vortan/presence/avahiclient.h"
#include "vortan/presence/presencetoken.h"

#include <QNetworkInterface>

#include <algorithm>
#include <utility>

namespace vortan {

namespace {

// Announcements remembered at most (a flood of names is not kept for ever).
constexpr qsizetype kMaxItems = 4096;

const char* checkText(AnnouncementCheck check)
{
    switch (check) {
    case AnnouncementCheck::valid: return "valid";
    case AnnouncementCheck::unsigned_: return "not signed";
    case AnnouncementCheck::notByTheUser: return "not signed by the user";
    case AnnouncementCheck::outOfTime: return "signed at another time";
    case AnnouncementCheck::notCovered: return "not signed for the address";
    }
    return "";
}

}  // namespace

LocalPresence::LocalPresence(QDBusConnection bus, Clock& clock, QObject* parent)
    : LocalPresence(std::make_unique<AvahiClient>(std::move(bus), clock), clock, {}, parent)
{
}

LocalPresence::LocalPresence(std::unique_ptr<PresenceResponder> responder, Clock& clock, Options options,
                             QObject* parent)
    : QObject(parent), m_responder(std::move(responder)), m_clock(clock), m_options(std::move(options))
{
    if (!m_options.utcNow)
        m_options.utcNow = [] { return QDateTime::currentDateTimeUtc(); };
    if (!m_options.ownAddresses)
        m_options.ownAddresses = [] { return QNetworkInterface::allAddresses(); };
    m_dayTimer = m_clock.createTimer([this] { dayChanged(); });
    m_settleTimer = m_clock.createTimer([this] { reportSeen(); });
    m_addressTimer = m_clock.createTimer([this] { checkAddresses(); });
    connect(m_responder.get(), &PresenceResponder::stateChanged, this, &LocalPresence::responderStateChanged);
    connect(m_responder.get(), &PresenceResponder::itemNew, this, &LocalPresence::itemNew);
    connect(m_responder.get(), &PresenceResponder::itemRemoved, this, &LocalPresence::itemRemoved);
    connect(m_responder.get(), &PresenceResponder::resolved, this, &LocalPresence::resolved);
}

LocalPresence::~LocalPresence() = default;

void LocalPresence::start()
{
    if (m_started)
        return;
    m_started = true;
    rebuildTokens();
    scheduleDayChange();
    m_addressTimer->startRepeating(kAddressCheck);
    m_responder->start();
}

void LocalPresence::responderStateChanged()
{
    // A responder that left took its items along; the next one reports them again.
    if (m_responder->state() != State::on) {
        m_items.clear();
        m_unverified.clear();
        for (const QString& id : m_sightings.keys())
            removeSighting(id);
    }
    emit stateChanged();
}

// ---- Announcement

void LocalPresence::setAnnouncement(const QByteArray& ownKey, std::uint16_t port, Signer sign)
{
    if (ownKey == m_ownKey && port == m_port && static_cast<bool>(sign) == static_cast<bool>(m_sign))
        return;
    m_ownKey = ownKey;
    m_port = port;
    m_sign = std::move(sign);
    announce();
}

void LocalPresence::announce()
{
    if (!m_started)
        return;
    const QString token = presenceToken(m_ownKey, utcDayNumber(m_options.utcNow()));
    if (token.isEmpty() || m_port == 0) {
        m_responder->announce({}, 0, {});
        return;
    }
    m_addresses = announcedAddresses(m_options.ownAddresses());
    m_signedAt = m_clock.now();
    const AnnouncementClaim claim{token, m_port, m_addresses, now()};
    m_responder->announce(token, m_port, announcementTxt(claim, m_sign));
}

// The signature covers the addresses: a changed one is announced at once,
// and the time is renewed long before announcements count as out of time.
void LocalPresence::checkAddresses()
{
    if (m_ownKey.isEmpty() || m_port == 0)
        return;
    if (announcedAddresses(m_options.ownAddresses()) != m_addresses || m_clock.now() - m_signedAt >= kRenewal)
        announce();
}

// ---- Browsing

void LocalPresence::itemNew(const ServiceItem& item)
{
    if (m_items.size() >= kMaxItems && !m_items.contains(item.id()))
        return;
    m_items.insert(item.id(), item);
    const QByteArray key = userOf(item.name);
    if (key.isEmpty()) {
        logDebug(lcPresence(), QStringLiteral("An announcement of no known user: \"%1\".").arg(item.name));
        return;
    }
    m_responder->resolve(item);
}

void LocalPresence::itemRemoved(const ServiceItem& item)
{
    m_items.remove(item.id());
    removeSighting(item.id());
    m_unverified.remove(item.id());
}

void LocalPresence::removeSighting(const QString& id)
{
    const auto found = m_sightings.constFind(id);
    if (found == m_sightings.cend())
        return;
    const QByteArray key = found->key;
    m_sightings.erase(found);
    const bool stillThere = std::any_of(m_sightings.cbegin(), m_sightings.cend(),
                                        [&](const Sighting& s) { return s.key == key; });
    if (!stillThere)
        emit userGone(key);
}

void LocalPresence::resolved(const ServiceItem& item, const Resolution& resolution)
{
    const QByteArray key = userOf(item.name);
    if (key.isEmpty() || !m_knownKeys.contains(key)) {
        m_responder->stopResolving(item);
        return;
    }
    QHostAddress address(resolution.host);
    if (!callableAddress(address, resolution.local) || resolution.port == 0) {
        logDebug(lcPresence(), QStringLiteral("\"%1\" resolved to %2, which is not called.").arg(item.name, resolution.host));
        return;
    }
    const QString token = item.name.section(QLatin1Char(' '), 0, 0);
    const AnnouncementCheck check = checkAnnouncement(resolution.txt, token, address, resolution.port, key, now());
    const QString id = item.id();
    if (check != AnnouncementCheck::valid) {
        logDebug(lcPresence(), QStringLiteral("Ignored \"%1\" at %2 port %3: %4.")
                                   .arg(item.name, resolution.host)
                                   .arg(resolution.port)
                                   .arg(QLatin1String(checkText(check))));
        // The user's own announcement may come to cover it (a renumbered
        // host announces again); a few such are followed. What it resolved
        // to before stays: a valid answer then tells that the user moved.
        const bool mayBecomeValid = check == AnnouncementCheck::outOfTime || check == AnnouncementCheck::notCovered;
        const bool followed = m_unverified.contains(id) || m_sightings.contains(id)
                              || std::count(m_unverified.cbegin(), m_unverified.cend(), key) < kMaxUnverified;
        if (mayBecomeValid && followed) {
            m_unverified.insert(id, key);
        } else {
            m_unverified.remove(id);
            removeSighting(id);
            m_responder->stopResolving(item);
        }
        return;
    }
    m_unverified.remove(id);
    Sighting& sighting = m_sightings[id];
    const QString previous = std::exchange(sighting.host, resolution.host);
    sighting.key = key;
    sighting.port = resolution.port;
    sighting.order = ++m_order;
    sighting.rank = resolution.ipv4 ? 3 : address.isLinkLocal() ? 1 : 2;
    m_seen.insert(key);
    if (!m_settleTimer->isActive())
        m_settleTimer->startOnce(kSettleTime);
    if (!previous.isEmpty() && previous != resolution.host)
        emit userMoved(key, previous);
}

void LocalPresence::reportSeen()
{
    const QSet<QByteArray> seen = std::exchange(m_seen, {});
    for (const QByteArray& key : seen) {
        QList<Sighting> sightings;
        for (const Sighting& s : std::as_const(m_sightings)) {
            if (s.key == key)
                sightings.append(s);
        }
        // The most useful kind of address first, the newest of a kind first.
        std::sort(sightings.begin(), sightings.end(), [](const Sighting& a, const Sighting& b) {
            return a.rank != b.rank ? a.rank > b.rank : a.order > b.order;
        });
        QList<Endpoint> endpoints;
        for (const Sighting& s : std::as_const(sightings)) {
            const Endpoint endpoint{s.host, s.port};
            if (!endpoints.contains(endpoint))
                endpoints.append(endpoint);
        }
        if (!endpoints.isEmpty())
            emit userSeen(key, endpoints);
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
    for (const ServiceItem& item : std::as_const(m_items)) {
        if (userOf(item.name).isEmpty()) {
            removeSighting(item.id());
            m_unverified.remove(item.id());
            m_responder->stopResolving(item);
        } else {
            m_responder->resolve(item);
        }
    }
}

void LocalPresence::rebuildTokens()
{
    m_tokens.clear();
    const std::int64_t today = utcDayNumber(m_options.utcNow());
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
    const QDateTime now = m_options.utcNow();
    const QDateTime next = QDateTime(now.date().addDays(1), QTime(0, 0), Qt::UTC);
    // A second late: the new day has begun for sure.
    m_dayTimer->startOnce(std::chrono::milliseconds(now.msecsTo(next) + 1000));
}

void LocalPresence::dayChanged()
{
    logDebug(lcPresence(), QStringLiteral("A new UTC day: announcing the new token."));
    rebuildTokens();
    resolveKnownItems();
    announce();
    scheduleDayChange();
}

}  // namespace vortan
