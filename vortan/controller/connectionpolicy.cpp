#include "vortan/controller/connectionpolicy.h"

#include "vortan/controller/filetable.h"
#include "vortan/controller/heldusers.h"
#include "vortan/records/file.h"

#include <utility>

namespace vortan {

bool isWorkFor(const File& file, const QByteArray& key, const std::function<bool(const QUuid&)>& listed)
{
    if (file.user != key || isComplete(file))
        return false;
    // An offer they were told of and started on goes on even if only we can
    // reach them; one they have not started is theirs to take.
    return file.download ? !file.paused && !file.unavailable : !listed(file.id()) || !file.blocks.empty();
}

ConnectionPolicy::ConnectionPolicy(Clock& clock, Engine engine) : m_clock(clock), m_engine(std::move(engine)) {}

ConnectionPolicy::~ConnectionPolicy() = default;

void ConnectionPolicy::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (!on) {
        for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it) {
            if (!m_kept.contains(it.key()))
                it.value()->timer->stop();
        }
        return;
    }
    if (m_started)
        start();
}

void ConnectionPolicy::setKept(const QList<QByteArray>& keys)
{
    // Only those newly kept are called now: the others' waits stand.
    const QSet<QByteArray> before = std::exchange(m_kept, QSet<QByteArray>(keys.cbegin(), keys.cend()));
    if (!m_started)
        return;
    for (const QByteArray& key : keys) {
        if (!before.contains(key))
            callIfWanted(key);
    }
}

void ConnectionPolicy::start()
{
    m_started = true;
    for (const QByteArray& key : m_engine.users())
        callIfWanted(key);
}

bool ConnectionPolicy::worthCalling(const QByteArray& key) const
{
    return m_started && !m_held.contains(key) && (m_kept.contains(key) || (m_enabled && m_engine.hasWork(key)));
}

bool ConnectionPolicy::wanted(const QByteArray& key) const
{
    return worthCalling(key) && m_engine.idle(key);
}

void ConnectionPolicy::callIfWanted(const QByteArray& key)
{
    if (!wanted(key))
        return;
    if (const auto waiting = m_waiting.value(key))
        waiting->timer->stop();
    m_engine.connect(key);
}

void ConnectionPolicy::workAdded(const QByteArray& key)
{
    callIfWanted(key);
}

void ConnectionPolicy::appeared(const QByteArray& key)
{
    // Announcements can be repeated at will: they start the waits over at
    // most once a minute.
    const auto last = m_appearedAt.constFind(key);
    if (last != m_appearedAt.cend() && m_clock.now() - *last < kAppearedEvery)
        return;
    m_appearedAt.insert(key, m_clock.now());
    if (const auto waiting = m_waiting.value(key))
        waiting->backoff.reset();
    callIfWanted(key);
}

void ConnectionPolicy::networkChanged()
{
    for (const std::shared_ptr<Waiting>& waiting : std::as_const(m_waiting))
        waiting->backoff.reset();
    if (!m_started)
        return;
    for (const QByteArray& key : m_engine.users())
        callIfWanted(key);
}

ConnectionPolicy::Waiting& ConnectionPolicy::waitingFor(const QByteArray& key)
{
    std::shared_ptr<Waiting>& waiting = m_waiting[key];
    if (!waiting) {
        waiting = std::make_shared<Waiting>();
        waiting->timer = m_clock.createTimer([this, key] { callIfWanted(key); });
    }
    return *waiting;
}

std::chrono::milliseconds ConnectionPolicy::schedule(const QByteArray& key)
{
    Waiting& waiting = waitingFor(key);
    const std::chrono::milliseconds wait = waiting.backoff.next();
    waiting.due = m_clock.now() + wait;
    waiting.timer->startOnce(wait);
    return wait;
}

std::optional<std::chrono::milliseconds> ConnectionPolicy::failed(const QByteArray& key, ConnectFailure::Reason reason)
{
    // Without an address only an announcement can help: appeared() calls then.
    if (reason == ConnectFailure::Reason::noAddress || !worthCalling(key))
        return std::nullopt;
    return schedule(key);
}

void ConnectionPolicy::connected(const QByteArray& key)
{
    if (const auto waiting = m_waiting.value(key)) {
        waiting->timer->stop();
        waiting->backoff.reset();
    }
}

void ConnectionPolicy::disconnected(const QByteArray& key, bool longLived)
{
    if (!worthCalling(key))
        return;
    if (longLived)
        callIfWanted(key);
    else
        schedule(key);
}

void ConnectionPolicy::hold(const QByteArray& key)
{
    if (const auto waiting = m_waiting.value(key))
        waiting->timer->stop();
    if (m_held.contains(key))
        return;
    m_held.insert(key);
    heldChanged();
}

void ConnectionPolicy::release(const QByteArray& key)
{
    if (m_held.remove(key))
        heldChanged();
}

void ConnectionPolicy::keepHeldIn(const QString& path)
{
    m_heldPath = path;
    m_held.unite(readHeldUsers(path));
}

void ConnectionPolicy::heldChanged()
{
    if (!m_heldPath.isEmpty())
        writeHeldUsers(m_heldPath, m_held);
}

void ConnectionPolicy::forget(const QByteArray& key)
{
    release(key);
    m_waiting.remove(key);
    m_appearedAt.remove(key);
}

std::optional<Clock::TimePoint> ConnectionPolicy::nextCall(const QByteArray& key) const
{
    const auto waiting = m_waiting.value(key);
    if (!waiting || !waiting->timer->isActive())
        return std::nullopt;
    return waiting->due;
}

}  // namespace vortan
