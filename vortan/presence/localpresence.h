#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QDBusMessage;
class QDBusPendingCall;
class QDBusServiceWatcher;

namespace vortan {

class Clock;
class Timer;

// Presence on the local network through the desktop's mDNS responder
// (avahi-daemon, over its D-Bus interface on the system bus): announces a
// _brenvo._tcp service on the listening port under the own day token, and
// browses for the service, reporting every announcement whose token is a
// known user's. Nothing here waits: every call to the responder is
// asynchronous, and a missing responder only makes the state noResponder
// (until it appears on the bus).
class LocalPresence : public QObject {
    Q_OBJECT
public:
    enum class State { off, on, noResponder };

    static constexpr const char* kServiceType = "_brenvo._tcp";

    // bus: the system bus (the responder's); clock: for the day change.
    LocalPresence(QDBusConnection bus, Clock& clock, QObject* parent = nullptr);
    ~LocalPresence() override;
    LocalPresence(const LocalPresence&) = delete;
    LocalPresence& operator=(const LocalPresence&) = delete;

    // Starts watching for the responder and browsing.
    void start();
    // Announces ownKey's token on port; an empty key or port 0 withdraws it.
    void setAnnouncement(const QByteArray& ownKey, std::uint16_t port);
    // The users whose announcements are reported.
    void setKnownKeys(const QList<QByteArray>& keys);

    // on: the responder runs (and the announcement, if any, is made);
    // noResponder: none on the bus; off: not started.
    State state() const { return m_state; }
    // The instance name announced (empty when none).
    QString instanceName() const { return m_announcedName; }

signals:
    void stateChanged();
    // A known user's announcement resolved to host (an address, a link-local
    // IPv6 address with its scope) and port.
    void userSeen(const QByteArray& key, const QString& host, std::uint16_t port);
    // The responder reports a known user's host at another address than
    // before: whatever was reached at `from` is no longer there.
    void userMoved(const QByteArray& key, const QString& from);

private slots:
    void serverStateChanged(const QDBusMessage& message);
    void groupStateChanged(const QDBusMessage& message);
    void itemNew(const QDBusMessage& message);
    void itemRemove(const QDBusMessage& message);
    void browserFailure(const QDBusMessage& message);
    void resolverFound(const QDBusMessage& message);
    void resolverFailure(const QDBusMessage& message);

private:
    struct Item {
        int interface = -1;
        int protocol = -1;
        QString name;
    };
    struct Resolver {
        QByteArray key;
        QString path;  // empty until the responder made it
        int rank = 0;  // of its last address; 0: none yet
        QString host;
        std::uint16_t port = 0;
    };

    void responderAppeared();
    void responderLeft();
    void setState(State state);
    void responderRunning();
    void announce();
    // The last call of an announcement came back: makes the next one, if
    // the announcement changed meanwhile.
    void groupCallDone();
    void withdraw();
    void browse();
    void resolve(const Item& item, const QByteArray& key);
    void resolveKnownItems();
    void reportSeen();
    void dayChanged();
    void scheduleDayChange();
    void rebuildTokens();
    // The known user whose token starts this instance name, if any.
    QByteArray userOf(const QString& name) const;
    bool fromResponder(const QDBusMessage& message) const;
    QDBusMessage serverCall(const QString& interface, const QString& method) const;
    void onReply(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> handler);
    void subscribe(const QString& interface, const QString& signal, const char* slot);
    void freeObject(const QString& path, const QString& interface);
    static QString itemId(int interface, int protocol, const QString& name);

    QDBusConnection m_bus;
    Clock& m_clock;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    std::unique_ptr<Timer> m_dayTimer;
    // Answers over IPv4 and IPv6 come a moment apart: each user's best is
    // reported once they had this long to arrive.
    static constexpr std::chrono::milliseconds kSettleTime{300};
    std::unique_ptr<Timer> m_settleTimer;
    QSet<QByteArray> m_seen;  // users with a new answer not reported yet
    State m_state = State::off;
    bool m_started = false;
    // The responder's unique bus name while it is there; bumped generation
    // makes replies to calls from before it left go nowhere.
    QString m_owner;
    quint64 m_generation = 0;
    bool m_running = false;

    // Announcement.
    QByteArray m_ownKey;
    std::uint16_t m_port = 0;
    QString m_groupPath;
    QString m_announcedName;  // the name in the group (after collisions, with a suffix)
    int m_collisions = 0;
    bool m_groupBusy = false;  // a call on the group is on its way
    bool m_groupDirty = false; // the announcement changed meanwhile

    // Browsing.
    QString m_browserPath;
    QList<QByteArray> m_knownKeys;
    QHash<QString, QByteArray> m_tokens;  // yesterday's, today's, tomorrow's token -> key
    QHash<QString, Item> m_items;         // every announcement seen, by itemId
    QHash<QString, Resolver> m_resolvers; // of the known users' ones, by itemId
};

}  // namespace vortan
