#include "vortan/controller/requestwindow.h"

#include "vortan/file2.h"

#include <algorithm>
#include <cmath>

namespace vortan {

namespace {

double secondsOf(RequestWindow::Duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

RequestWindow::RequestWindow(std::int64_t cap) : m_cap(std::max<std::int64_t>(cap, 1))
{
    m_largest = size();
}

std::int64_t RequestWindow::size() const
{
    return std::clamp(m_size, std::min(kFloor, m_cap), m_cap);
}

void RequestWindow::setCap(std::int64_t cap)
{
    m_cap = std::max<std::int64_t>(cap, 1);
}

double RequestWindow::rate() const
{
    return std::max(m_roundRate, *std::max_element(std::begin(m_rates), std::end(m_rates)));
}

void RequestWindow::asked(const BlockSet& blocks, TimePoint now)
{
    if (m_asked.empty())
        m_lastProgress = now;  // the wait for an answer starts here
    for (const BlockSet::Run& run : blocks.runs()) {
        for (std::int64_t block = run.first; block < run.end(); ++block)
            m_asked.insert_or_assign(block, Ask{now, m_delivered});
    }
}

std::optional<RequestWindow::TimePoint> RequestWindow::askedAt(std::int64_t block) const
{
    const auto found = m_asked.find(block);
    return found == m_asked.end() ? std::nullopt : std::optional<TimePoint>(found->second.at);
}

BlockSet RequestWindow::askedBefore(TimePoint time) const
{
    BlockSet blocks;
    for (const auto& [block, ask] : m_asked) {
        if (ask.at < time)
            blocks.insert(block);
    }
    return blocks;
}

void RequestWindow::forget(const BlockSet& blocks)
{
    for (const BlockSet::Run& run : blocks.runs()) {
        for (std::int64_t block = run.first; block < run.end(); ++block)
            m_asked.erase(block);
    }
}

RequestWindow::Change RequestWindow::received(std::int64_t block, std::int64_t bytes, TimePoint now)
{
    m_delivered += bytes;
    m_lastProgress = now;
    m_stalled = false;
    const auto found = m_asked.find(block);
    if (found == m_asked.end())
        return Change::none;
    const Ask ask = found->second;
    m_asked.erase(found);

    const Duration roundTrip = std::max<Duration>(now - ask.at, std::chrono::microseconds(1));
    if (!m_minRoundTrip || roundTrip < *m_minRoundTrip)
        m_minRoundTrip = roundTrip;

    m_roundRate = std::max(m_roundRate, double(m_delivered - ask.deliveredBefore) / secondsOf(roundTrip));

    Change change = Change::none;
    if (m_growing && roundTrip > 2 * *m_minRoundTrip) {
        settle();
        change = Change::settled;
    }
    followTrain(ask, now);
    if (m_growing)
        m_size = std::min(std::max(m_size + 1, blocksFor(m_trainRate)), m_cap);
    if (ask.deliveredBefore >= m_roundEnd) {
        // The first block asked for after the last round ended: a round trip.
        m_roundEnd = m_delivered;
        const bool wasGrowing = m_growing;
        endRound();
        if (wasGrowing && !m_growing)
            change = Change::settled;
    }
    if (!m_growing)
        m_size = followingSize();
    m_largest = std::max(m_largest, size());
    return change;
}

void RequestWindow::endRound()
{
    m_rates[m_roundIndex] = m_roundRate;
    m_roundIndex = (m_roundIndex + 1) % kRateRounds;
    m_roundRate = 0;
    if (!m_growing)
        return;
    const double best = rate();
    if (best >= 1.25 * m_growthBase) {
        m_growthBase = best;
        m_flatRounds = 0;
    } else if (++m_flatRounds >= kFlatRoundsToSettle) {
        settle();
    }
}

void RequestWindow::settle()
{
    m_growing = false;
    // Right after a jump the rounds have measured only the small windows
    // before it: half the train's rate counts as this round's, so that the
    // window keeps the link's product until the rounds measure it (a rate
    // taken too high leaves the record with its round).
    m_roundRate = std::max(m_roundRate, m_trainRate / 2);
}

void RequestWindow::followTrain(const Ask& ask, TimePoint now)
{
    // The block was asked for a shortest round trip or more before the
    // train's first arrival: the sender had it when it sent that one, and
    // sent it right behind what it sent since.
    if (m_trainStart && ask.at <= *m_trainStart - *m_minRoundTrip) {
        const Duration span = std::max<Duration>(now - *m_trainStart, kShortestTrain);
        m_trainRate = std::max(m_trainRate, double(m_delivered - m_trainDelivered) / secondsOf(span));
        return;
    }
    m_trainStart = now;
    m_trainDelivered = m_delivered;
}

std::int64_t RequestWindow::blocksFor(double bytesPerSecond) const
{
    if (!m_minRoundTrip)
        return kFloor;
    const double bytesPerRoundTrip = bytesPerSecond * secondsOf(*m_minRoundTrip);
    const double blocks = std::ceil(2.0 * bytesPerRoundTrip / double(blockSize)) + double(kFloor);
    return std::int64_t(std::min(blocks, double(m_cap)));
}

std::int64_t RequestWindow::followingSize() const
{
    return m_minRoundTrip ? blocksFor(rate()) : m_size;
}

RequestWindow::Duration RequestWindow::stallTime() const
{
    const Duration least = kMinimumStall;
    return m_minRoundTrip ? std::max(least, *m_minRoundTrip * kStallRoundTrips) : least;
}

RequestWindow::Change RequestWindow::check(TimePoint now)
{
    if (!watching() || !m_lastProgress || now - *m_lastProgress < stallTime())
        return Change::none;
    backToFloor();
    m_stalled = true;
    return Change::stalled;
}

void RequestWindow::backToFloor()
{
    m_size = kFloor;
    m_growing = true;
    m_flatRounds = 0;
    m_growthBase = 0;
    m_roundRate = 0;
    std::fill(std::begin(m_rates), std::end(m_rates), 0.0);
    m_roundEnd = m_delivered;
    m_trainStart.reset();
    m_trainRate = 0;
}

}  // namespace vortan
