#include "vortan/controller/downloadwindows.h"

#include "vortan/log.h"
#include "vortan/peer/messages.h"

#include <algorithm>

namespace vortan {

DownloadWindows::DownloadWindows(Clock& clock, Limits limits, Engine engine)
    : m_clock(clock), m_limits(limits), m_engine(std::move(engine))
{
}

DownloadWindows::~DownloadWindows() = default;

const RequestWindow* DownloadWindows::find(const QUuid& id) const
{
    const auto found = m_windows.constFind(id);
    return found == m_windows.cend() ? nullptr : &found->window;
}

RequestWindow& DownloadWindows::windowFor(const QUuid& id, const QByteArray& user)
{
    auto found = m_windows.find(id);
    if (found != m_windows.end())
        return found->window;
    const qsizetype sharing = ++m_sharing[user];
    found = m_windows.insert(id, DownloadWindow{user, RequestWindow(capFor(sharing))});
    shareConnection(user, sharing - 1, sharing);
    return found->window;
}

std::int64_t DownloadWindows::capFor(qsizetype sharing) const
{
    // The downloads from one user share its connection's limit evenly; the
    // sender serves their records in turn, one block each.
    const std::int64_t share = std::max<std::int64_t>(m_limits.maxConnectionWindow / std::max<qsizetype>(sharing, 1),
                                                      RequestWindow::kFloor);
    return std::min(m_limits.maxRequestWindow, share);
}

void DownloadWindows::shareConnection(const QByteArray& user, qsizetype before, qsizetype after)
{
    // With many downloads every share is the floor: nothing to change.
    if (after == 0 || capFor(before) == capFor(after))
        return;
    const std::int64_t cap = capFor(after);
    for (DownloadWindow& w : m_windows) {
        if (w.user == user)
            w.window.setCap(cap);
    }
}

void DownloadWindows::asked(const QUuid& id, const BlockSet& blocks)
{
    const auto found = m_windows.find(id);
    if (found == m_windows.end())
        return;
    found->window.asked(blocks, m_clock.now());
    if (!m_windowTimer)
        m_windowTimer = m_clock.createTimer([this] { check(); });
    if (found->window.watching() && !m_windowTimer->isActive())
        m_windowTimer->startRepeating(kWindowCheckInterval);
    if (!m_quietTimer)
        m_quietTimer = m_clock.createTimer([this] { checkQuiet(); });
    if (!m_quietTimer->isActive())
        m_quietTimer->startRepeating(kQuietCheckInterval);
}

void DownloadWindows::received(const QUuid& id, std::int64_t block, std::int64_t bytes)
{
    const auto found = m_windows.find(id);
    if (found == m_windows.end())
        return;
    if (const std::optional<Clock::TimePoint> asked = found->window.askedAt(block)) {
        auto latest = m_latestAnswered.find(found->user);
        if (latest == m_latestAnswered.end())
            m_latestAnswered.insert(found->user, *asked);
        else if (*latest < *asked)
            *latest = *asked;
    }
    if (found->window.received(block, bytes, m_clock.now()) == RequestWindow::Change::settled)
        log(id, found->window, QStringLiteral("settled"));
}

void DownloadWindows::check()
{
    const RequestWindow::TimePoint now = m_clock.now();
    bool watching = false;
    for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
        if (it->window.check(now) == RequestWindow::Change::stalled)
            log(it.key(), it->window, QStringLiteral("stalled, back to the floor"));
        watching = watching || it->window.watching();
    }
    if (!watching && m_windowTimer)
        m_windowTimer->stop();
}

void DownloadWindows::checkQuiet()
{
    // A peer answers wants only for what it offers: a download it withdrew
    // would wait for ever, shown as running. Its list tells (the answer's
    // end marks what it leaves out).
    const Clock::TimePoint now = m_clock.now();
    bool waiting = false;
    QList<QByteArray> quietUsers;
    for (auto it = m_windows.cbegin(); it != m_windows.cend(); ++it) {
        const std::optional<Clock::TimePoint> since = it->window.waitingSince();
        if (!since || !m_engine.waitsForBlocks(it.key()))
            continue;
        waiting = true;
        if (now - *since >= kQuietDownloadTime && !quietUsers.contains(it->user))
            quietUsers.append(it->user);
    }
    checkLost(now);
    if (!waiting) {
        m_quietTimer->stop();
        return;
    }
    for (const QByteArray& user : std::as_const(quietUsers)) {
        if (m_engine.linkAlive && !m_engine.linkAlive(user))
            continue;
        const auto asked = m_quietListRequests.constFind(user);
        if (asked != m_quietListRequests.cend() && now - *asked < kQuietDownloadTime)
            continue;
        if (m_engine.askForList(user))
            m_quietListRequests.insert(user, now);
    }
}

void DownloadWindows::checkLost(Clock::TimePoint now)
{
    QList<std::pair<QUuid, BlockSet>> lost;
    for (auto latest = m_latestAnswered.cbegin(); latest != m_latestAnswered.cend(); ++latest) {
        std::deque<Answered>& history = m_answeredHistory[latest.key()];
        if (history.empty() || history.back().askedAt != *latest)
            history.push_back(Answered{now, *latest});
        // The newest sighting at least kLostRequestTime old decides.
        while (history.size() > 1 && now - history[1].seen >= kLostRequestTime)
            history.pop_front();
        if (now - history.front().seen < kLostRequestTime)
            continue;
        const Clock::TimePoint before = history.front().askedAt;
        for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
            if (it->user != latest.key() || !m_engine.waitsForBlocks(it.key()))
                continue;
            const BlockSet blocks = it->window.askedBefore(before);
            if (blocks.empty())
                continue;
            it->window.forget(blocks);
            lost.append({it.key(), blocks});
        }
    }
    for (const auto& [id, blocks] : std::as_const(lost))
        m_engine.lost(id, blocks);
}

void DownloadWindows::drop(const QUuid& id)
{
    const auto found = m_windows.constFind(id);
    if (found == m_windows.cend())
        return;
    const QByteArray user = found->user;
    m_windows.erase(found);
    const qsizetype sharing = --m_sharing[user];
    if (sharing <= 0)
        m_sharing.remove(user);
    shareConnection(user, sharing + 1, sharing);
}

void DownloadWindows::dropAllOf(const QByteArray& user)
{
    // The requests went with the connection; later answers say nothing of them.
    m_latestAnswered.remove(user);
    m_answeredHistory.remove(user);
    m_windows.removeIf([&](const QHash<QUuid, DownloadWindow>::iterator it) { return it->user == user; });
    m_sharing.remove(user);
}

void DownloadWindows::log(const QUuid& id, const QString& what) const
{
    if (const RequestWindow* window = find(id))
        log(id, *window, what);
}

void DownloadWindows::log(const QUuid& id, const RequestWindow& window, const QString& what)
{
    const auto roundTrip = window.roundTrip();
    const double ms = roundTrip ? std::chrono::duration<double, std::milli>(*roundTrip).count() : 0.0;
    logDebug(lcTransfer(), QStringLiteral("Request window of %1 %2: %3 blocks (largest %4, cap %5), %6 MB/s, round trip %7 ms")
                .arg(idText(id), what)
                .arg(window.size())
                .arg(window.largest())
                .arg(window.cap())
                .arg(window.rate() / 1e6, 0, 'f', 1)
                .arg(ms, 0, 'f', 1));
}

}  // namespace vortan
