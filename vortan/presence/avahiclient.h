#pragma once

#include "vortan/presence/responder.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

class QDBusMessage;
class QDBusPendingCall;
class QDBusServiceWatcher;

namespace vortan {

class Clock;
class Timer;

// The desktop's mDNS responder (avahi-daemon) over its D-Bus interface on
// the system bus. Nothing here waits: every call is asynchronous, and a
// missing responder only makes the state noResponder (until it appears on
// the bus). Lookups are queued with at most kMaxLookups on their way, so
// that a flood of announcements cannot use up the bus's pending replies;
// a failed lookup is tried again later, waiting longer each time.
class AvahiClient : public PresenceResponder {
    Q_OBJECT
public:
    static constexpr const char* kServiceType = "_brenvo._tcp";
    static constexpr int kMaxLookups = 16;

    // bus: the system bus (the responder's); clock: for the waits.
    AvahiClient(QDBusConnection bus, Clock& clock, QObject* parent = nullptr);
    ~AvahiClient() override;

    void start() override;
    State state() const override { return m_state; }
    void announce(const QString& name, std::uint16_t port, const QList<QByteArray>& txt) override;
    QString announcedName() const override { return m_announcedName; }
    void resolve(const ServiceItem& item) override;
    void stopResolving(const ServiceItem& item) override;

    // Lookups on their way now (for tests).
    int lookupsInFlight() const { return m_inFlight; }

private slots:
    void serverStateChanged(const QDBusMessage& message);
    void groupStateChanged(const QDBusMessage& message);
    void itemNewSignal(const QDBusMessage& message);
    void itemRemoveSignal(const QDBusMessage& message);
    void browserFailure(const QDBusMessage& message);
    void resolverFound(const QDBusMessage& message);
    void resolverFailure(const QDBusMessage& message);

private:
    struct Resolver {
        ServiceItem item;
        QString path;            // empty until the responder made it
        bool inFlight = false;   // counted in m_inFlight until its first answer
        int failures = 0;
        std::unique_ptr<Timer> retry;
    };

    void responderAppeared();
    void responderLeft();
    void setState(State state);
    void responderRunning();
    void makeAnnouncement();
    void groupCallDone();
    void withdraw();
    void browse();
    void browseLater();
    void pump();
    void startLookup(const QString& id);
    void lookupFailed(const QString& id);
    void settle(Resolver& resolver);
    void dropResolver(const QString& id);
    Resolver* resolverFor(const QDBusMessage& message);
    bool fromResponder(const QDBusMessage& message) const;
    QDBusMessage serverCall(const QString& interface, const QString& method) const;
    QDBusMessage groupCall(const QString& method) const;
    void onReply(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> handler);
    void subscribe(const QString& interface, const QString& signal, const char* slot);
    void freeObject(const QString& path, const QString& interface);

    QDBusConnection m_bus;
    Clock& m_clock;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    State m_state = State::off;
    bool m_started = false;
    // The responder's unique bus name while it is there; bumped generation
    // makes replies to calls from before it left go nowhere.
    QString m_owner;
    quint64 m_generation = 0;
    bool m_running = false;

    // Announcement.
    QString m_name;
    std::uint16_t m_port = 0;
    QList<QByteArray> m_txt;
    QString m_groupPath;
    QString m_announcedName;    // the name in the group (after collisions, with a suffix)
    std::uint16_t m_announcedPort = 0;
    int m_collisions = 0;
    bool m_groupBusy = false;   // a call on the group is on its way
    bool m_groupDirty = false;  // the announcement changed meanwhile

    // Browsing.
    QString m_browserPath;
    int m_browseFailures = 0;
    std::unique_ptr<Timer> m_browseRetry;
    QHash<QString, std::shared_ptr<Resolver>> m_resolvers;  // by item id
    std::deque<QString> m_queue;                            // ids waiting for a lookup
    int m_inFlight = 0;
};

}  // namespace vortan
