#pragma once

#include "vortan/clock.h"
#include "vortan/controller/backoff.h"
#include "vortan/connectfailure.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class File;

// Whether this record is work for a connection to this user: a download of
// theirs that wants blocks, or an offer to them that is not complete and
// either has not been listed to them during this run (listed(id)) or is partly
// sent.
bool isWorkFor(const File& file, const QByteArray& key, const std::function<bool(const QUuid&)>& listed);

// Connects users without a click when there is work for the connection: at
// start, when new work comes up (an offer, a resumed download), when the
// user is seen on the local network, when the machine's network changes,
// and after a failure or a lost connection, waiting as Backoff says. A user
// disconnected by hand is held until connect() is asked for by hand.
// Users with nothing to transfer get no calls. Its time is the given clock.
class ConnectionPolicy {
public:
    // What the policy needs of the engine.
    struct Engine {
        std::function<QList<QByteArray>()> users;
        std::function<bool(const QByteArray&)> hasWork;
        // Neither connected nor being connected.
        std::function<bool(const QByteArray&)> idle;
        std::function<void(const QByteArray&)> connect;
    };

    ConnectionPolicy(Clock& clock, Engine engine);
    ~ConnectionPolicy();

    // Calls for work; off, only the kept users are called.
    void setEnabled(bool on);
    bool enabled() const { return m_enabled; }
    // Users called and called again even with nothing to transfer, also
    // while calls for work are off (a disconnect by hand still holds them).
    void setKept(const QList<QByteArray>& keys);

    // Calls every user with work (the engine has started).
    void start();
    // New work for the user: called at once unless held or busy.
    void workAdded(const QByteArray& key);
    // The user was seen on the local network: waits start over, called now;
    // at most once per kAppearedEvery, a sighting again sooner changes nothing.
    void appeared(const QByteArray& key);
    static constexpr std::chrono::minutes kAppearedEvery{1};
    // The machine's network changed: every wait starts over, calls now.
    void networkChanged();
    // A call failed: the wait before the next one, when there will be one.
    std::optional<std::chrono::milliseconds> failed(const QByteArray& key, ConnectFailure::Reason reason);
    void connected(const QByteArray& key);
    // A connection ended without our asking: called again at once when it
    // had lasted (a link that went), else after a wait.
    void disconnected(const QByteArray& key, bool longLived = false);
    // Disconnect by hand holds the user; connect by hand releases it.
    void hold(const QByteArray& key);
    void release(const QByteArray& key);
    // Keeps the held users in this file from now on, starting with those it holds.
    void keepHeldIn(const QString& path);
    bool held(const QByteArray& key) const { return m_held.contains(key); }
    void forget(const QByteArray& key);

    // When the user's next call is due; absent when none is planned.
    std::optional<Clock::TimePoint> nextCall(const QByteArray& key) const;

private:
    struct Waiting {
        Backoff backoff;
        std::unique_ptr<Timer> timer;
        Clock::TimePoint due;
    };

    bool wanted(const QByteArray& key) const;
    bool worthCalling(const QByteArray& key) const;
    void callIfWanted(const QByteArray& key);
    std::chrono::milliseconds schedule(const QByteArray& key);
    Waiting& waitingFor(const QByteArray& key);
    void heldChanged();

    Clock& m_clock;
    Engine m_engine;
    bool m_enabled = true;
    bool m_started = false;
    QSet<QByteArray> m_held;
    QString m_heldPath;  // empty: held for this run only
    QSet<QByteArray> m_kept;
    QHash<QByteArray, std::shared_ptr<Waiting>> m_waiting;
    QHash<QByteArray, Clock::TimePoint> m_appearedAt;
};

}  // namespace vortan
