#pragma once

#include "vortan/clock.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/presence/responder.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace vortan {

// Presence on the local network: announces a _brenvo._tcp service on the
// listening port under the own day token, signed with the identity key over
// the token, the port, this host's addresses and the time; browses for the
// service and reports every known user whose announcement resolves to an
// address their signature covers. The responder does the talking to the
// network (see PresenceResponder).
class LocalPresence : public QObject {
    Q_OBJECT
public:
    using State = PresenceResponder::State;
    // Returns the 64-byte Ed25519 signature of message by the own identity
    // key; nothing when the key cannot sign.
    using Signer = std::function<QByteArray(const QByteArray& message)>;

    struct Options {
        // The time of day (the UTC day picks the tokens); by default the
        // system's. The clock's timers wait for the next day.
        std::function<QDateTime()> utcNow;
        // This host's addresses; by default the network interfaces'.
        std::function<QList<QHostAddress>()> ownAddresses;
    };

    static constexpr const char* kServiceType = "_brenvo._tcp";
    // Answers over IPv4 and IPv6 come a moment apart: each user's addresses
    // are reported once they had this long to arrive.
    static constexpr std::chrono::milliseconds kSettleTime{300};
    // How often the own addresses are looked at, and the announcement made
    // again with a new time.
    static constexpr std::chrono::milliseconds kAddressCheck{5000};
    static constexpr std::chrono::minutes kRenewal{5};
    // Announcements of a known user's token that do not verify but may
    // still (out of time, or not covering the address yet) are followed up
    // to this many per user; others are dropped.
    static constexpr int kMaxUnverified = 4;

    // The program's: avahi-daemon on the system bus.
    LocalPresence(QDBusConnection bus, Clock& clock, QObject* parent = nullptr);
    LocalPresence(std::unique_ptr<PresenceResponder> responder, Clock& clock, Options options = {},
                  QObject* parent = nullptr);
    ~LocalPresence() override;
    LocalPresence(const LocalPresence&) = delete;
    LocalPresence& operator=(const LocalPresence&) = delete;

    // Starts watching for the responder and browsing.
    void start();
    // Announces ownKey's token on port, signed by sign; an empty key or port
    // 0 withdraws it.
    void setAnnouncement(const QByteArray& ownKey, std::uint16_t port, Signer sign = {});
    // The users whose announcements are reported.
    void setKnownKeys(const QList<QByteArray>& keys);

    // on: the responder runs (and the announcement, if any, is made);
    // noResponder: none on the bus; off: not started.
    State state() const { return m_responder->state(); }
    // The instance name announced (empty when none).
    QString instanceName() const { return m_responder->announcedName(); }
    PresenceResponder& responder() { return *m_responder; }

signals:
    void stateChanged();
    // A known user's announcements resolved to these endpoints (addresses,
    // link-local IPv6 ones with their scope), the one to try first first.
    void userSeen(const QByteArray& key, const QList<Endpoint>& endpoints);
    // The last announcement of a known user that was seen went away (its
    // host withdrew it, it expired, or the responder left).
    void userGone(const QByteArray& key);
    // The responder reports a known user's host at another address than
    // before: whatever was reached at `from` is no longer there.
    void userMoved(const QByteArray& key, const QString& from);

private:
    struct Sighting {
        QByteArray key;
        QString host;
        std::uint16_t port = 0;
        int rank = 0;       // IPv4 3, routable IPv6 2, link-local IPv6 1
        quint64 order = 0;  // when it was last resolved, in sightings
    };

    void responderStateChanged();
    void itemNew(const ServiceItem& item);
    void itemRemoved(const ServiceItem& item);
    // Tells when it was the user's last one.
    void removeSighting(const QString& id);
    void resolved(const ServiceItem& item, const Resolution& resolution);
    void announce();
    void checkAddresses();
    void reportSeen();
    void dayChanged();
    void scheduleDayChange();
    void rebuildTokens();
    void resolveKnownItems();
    // The known user whose token starts this instance name, if any.
    QByteArray userOf(const QString& name) const;
    qint64 now() const { return m_options.utcNow().toSecsSinceEpoch(); }

    std::unique_ptr<PresenceResponder> m_responder;
    Clock& m_clock;
    Options m_options;
    std::unique_ptr<Timer> m_dayTimer;
    std::unique_ptr<Timer> m_settleTimer;
    std::unique_ptr<Timer> m_addressTimer;
    bool m_started = false;

    // Announcement.
    QByteArray m_ownKey;
    std::uint16_t m_port = 0;
    Signer m_sign;
    QList<QHostAddress> m_addresses;  // the ones announced
    Clock::TimePoint m_signedAt{};

    // Browsing.
    QList<QByteArray> m_knownKeys;
    QHash<QString, QByteArray> m_tokens;        // yesterday's, today's, tomorrow's token -> key
    QHash<QString, ServiceItem> m_items;        // every announcement seen, by id
    QHash<QString, Sighting> m_sightings;       // the verified ones of known users, by item id
    QHash<QString, QByteArray> m_unverified;    // followed up, by item id -> key
    QSet<QByteArray> m_seen;                    // users with a new answer not reported yet
    quint64 m_order = 0;
};

}  // namespace vortan
