#pragma once

#include "vortan/records/blockset.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

namespace vortan {

// How many blocks one download keeps requested from its sender, following
// the link it runs over. A plain value the controller keeps per running
// download; nothing of it is stored. Time comes in as arguments, so tests
// drive it with any clock.
//
// The rule:
// - It starts at the floor (five blocks) in the growing phase: every block
//   that arrives widens it by one, so two more blocks are asked for per block
//   received and the window doubles every round trip.
// - Once the first round trip is known it need not double its way up: blocks
//   the sender held back to back (asked for at least a shortest round trip
//   before the first of them arrived) arrive at the pace of the slowest part
//   of the path, whatever the window. From such a train of arrivals it takes
//   the link's rate, and the growing window is at least twice the bytes that
//   rate delivers in the shortest round trip, plus the floor: the first round
//   trip's five blocks are such a train, so the second round already asks for
//   what the link carries. Arrivals closer together than a millisecond count
//   as a millisecond apart (a read can hand over several blocks at once). A
//   rate taken too high costs a queue at the sender, which the next rule
//   sees within a round trip. When the growing phase ends, half the train's
//   rate counts as one round's delivery rate (below).
// - Each round trip (a block asked for after the previous round ended has
//   arrived) it compares the delivery rate with the best rate seen so far.
//   Three rounds without a rise of a quarter end the growing phase: the link
//   is full, more requests would only queue. So does a block that took more
//   than twice the shortest round trip: it waited a whole round trip in
//   queues, the window held twice what the link carries when it was asked
//   for. (Leaving early costs little: while the window limits the rate, the
//   following rule below doubles it every round trip too.)
// - From then on it follows the link: twice the bytes the measured rate
//   delivers in the shortest round trip seen, plus the floor. The factor two
//   leaves room for the rate to double before the window is in the way, so a
//   link that gets faster shows a rising rate and the window rises with it;
//   one that gets slower shows a lower rate within ten rounds (the rate is the
//   best of the last ten rounds) and the window shrinks.
// - A stall (blocks requested and none arriving for four shortest round
//   trips, and at least half a second) sends it back to the floor and to the
//   growing phase.
// - It never leaves floor ... cap; the cap is the controller's limit for one
//   download, or the download's share of its connection's limit. Within the
//   cap the size follows the measured bandwidth-delay product; the cap is a
//   ceiling, not a target. Neither side's memory grows with it (the receiver
//   writes each block to disk as it arrives, the sender reads only a few
//   blocks ahead of what it sends): it bounds what still arrives after a
//   pause and what other messages on the connection wait behind.
//
// Rates are BBR-style delivery rates: for an arriving block, the bytes that
// arrived while it was on its way (from its request to its arrival), over
// that time. Round trips are request-to-arrival times; their minimum is the
// link's, the larger ones include queues.
class RequestWindow {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    static constexpr std::int64_t kFloor = 5;
    static constexpr int kFlatRoundsToSettle = 3;
    static constexpr int kRateRounds = 10;
    static constexpr std::chrono::milliseconds kMinimumStall{500};
    static constexpr int kStallRoundTrips = 4;
    static constexpr std::chrono::milliseconds kShortestTrain{1};

    // What an arrival or a check changed, for the controller's log.
    enum class Change { none, settled, stalled };

    explicit RequestWindow(std::int64_t cap = kFloor);

    // Blocks to keep requested: floor ... cap.
    std::int64_t size() const;
    std::int64_t cap() const { return m_cap; }
    // The cap may change while blocks are on their way (a download's share of
    // its connection changes when others start or end). The floor stays below
    // it only when the cap itself is lower (a peer pinned to fewer blocks).
    void setCap(std::int64_t cap);
    // The largest size reached since construction.
    std::int64_t largest() const { return m_largest; }
    bool growing() const { return m_growing; }
    // Bytes per second: the best delivery rate of the last rounds (0 before
    // the first measurement).
    double rate() const;
    // Bytes per second: the fastest train of back-to-back arrivals since the
    // growing phase began (0 before one).
    double linkRate() const { return m_trainRate; }
    std::optional<Duration> roundTrip() const { return m_minRoundTrip; }
    // Blocks asked for through this window that have not arrived.
    std::int64_t outstanding() const { return std::int64_t(m_asked.size()); }
    // When an outstanding block was asked for.
    std::optional<TimePoint> askedAt(std::int64_t block) const;
    // The outstanding blocks asked for before `time`.
    BlockSet askedBefore(TimePoint time) const;
    // These blocks are no longer waited for (the request is taken as lost).
    void forget(const BlockSet& blocks);

    // These blocks were asked for at now.
    void asked(const BlockSet& blocks, TimePoint now);
    // A block of `bytes` arrived at now. Blocks not asked for through this
    // window (requested before it existed) count as delivered bytes only.
    Change received(std::int64_t block, std::int64_t bytes, TimePoint now);
    // Whether the link has stalled by now (reported once per stall).
    Change check(TimePoint now);
    // Whether check() has anything to look for: blocks outstanding and no
    // stall reported yet.
    bool watching() const { return !m_asked.empty() && !m_stalled; }
    // Since when nothing has arrived while blocks are outstanding: the last
    // arrival, or the request that ended a time with none outstanding.
    std::optional<TimePoint> waitingSince() const
    {
        return m_asked.empty() ? std::nullopt : m_lastProgress;
    }

private:
    struct Ask {
        TimePoint at;
        std::int64_t deliveredBefore;  // m_delivered when it was asked for
    };

    Duration stallTime() const;
    void followTrain(const Ask& ask, TimePoint now);
    std::int64_t blocksFor(double bytesPerSecond) const;
    void endRound();
    void settle();
    std::int64_t followingSize() const;
    void backToFloor();

    std::int64_t m_cap;
    std::int64_t m_size = kFloor;
    std::int64_t m_largest = kFloor;
    bool m_growing = true;
    bool m_stalled = false;

    std::map<std::int64_t, Ask> m_asked;
    std::int64_t m_delivered = 0;
    std::int64_t m_roundEnd = 0;  // a block asked for at or after this many delivered bytes ends the round
    std::optional<TimePoint> m_lastProgress;

    double m_roundRate = 0;           // best sample of the running round
    double m_rates[kRateRounds] = {};  // best sample of each of the last rounds
    int m_roundIndex = 0;
    double m_growthBase = 0;  // the rate the growing phase must beat by a quarter
    int m_flatRounds = 0;
    std::optional<Duration> m_minRoundTrip;

    std::optional<TimePoint> m_trainStart;  // the first arrival of the running train
    std::int64_t m_trainDelivered = 0;      // m_delivered then
    double m_trainRate = 0;
};

}  // namespace vortan
